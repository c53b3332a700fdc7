#include "transport/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <optional>
#include <vector>

#include "app/clock.h"
#include "transport/serial_settings.h"
#include "transport/serial_speed.h"

namespace orvane {

namespace {

// Port lines the reader expects; a pseudo-terminal has none, which is fine.
void RaiseModemLines(int fd) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)ioctl(fd, TIOCMBIS, &lines);
}

enum class Configured { Ok, Refused, SpeedRefused };

// `speedTaken`: with SpeedRefused, the speed the line runs at (0 when unknown).
Configured Configure(int fd, const SerialSettings& settings, uint32_t& speedTaken) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return Configured::Refused;
  cfmakeraw(&tio);
  ApplySerialSettings(tio, settings);
  // No flow control of any kind, receiver on, modem status ignored.
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return Configured::Refused;
  if (settings.baud && !SetLineSpeed(fd, *settings.baud, speedTaken)) return Configured::SpeedRefused;
  RaiseModemLines(fd);
  return Configured::Ok;
}

}  // namespace

bool SerialPort::OpenPort(std::string_view specification) {
  std::lock_guard lock(mutex_);
  if (open_.load()) return false;
  if (specification.size() < kSerialSpecMin || specification.size() > kSerialSpecMax) return false;
  const std::optional<SerialSpecification> parsed = ParseSerialSpecification(specification);
  if (!parsed) return false;

  UniqueFd fd(::open(parsed->devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return false;
  // Exclusive use, as far as the driver allows; a pseudo-terminal allows it too.
  (void)ioctl(fd.get(), TIOCEXCL);
  if (!isatty(fd.get())) return false;
  uint32_t speedTaken = 0;
  const Configured configured = Configure(fd.get(), parsed->settings, speedTaken);
  if (configured == Configured::SpeedRefused) ReportRefusedSpeed(parsed->devicePath, *parsed->settings.baud, speedTaken);
  if (configured != Configured::Ok) return false;
  tcflush(fd.get(), TCIOFLUSH);

  fd_ = std::move(fd);
  modeText_ = parsed->modeText;
  portPath_ = parsed->devicePath;
  lost_.store(false);
  open_.store(true);
  return true;
}

void SerialPort::ReportRefusedSpeed(const std::string& devicePath, uint32_t baud, uint32_t speedTaken) {
  // The search tries every port at every configured rate again and again: said once each.
  const std::string key = devicePath + " " + std::to_string(baud);
  if (refusedSpeeds_.size() >= 64 || !refusedSpeeds_.insert(key).second) return;
  std::cerr << "Cannot open serial port " << devicePath << " at " << baud << " baud: ";
  if (speedTaken) {
    std::cerr << "the adapter runs it at " << speedTaken << " baud\n";
  } else {
    std::cerr << "the adapter refuses this rate\n";
  }
}

void SerialPort::ClosePort() {
  std::lock_guard lock(mutex_);
  // Exclusive use would otherwise outlast us while anyone else holds the line open.
  if (fd_) (void)ioctl(fd_.get(), TIOCNXCL);
  fd_.reset();
  open_.store(false);
  lost_.store(false);
}

std::string SerialPort::modeText() const {
  std::lock_guard lock(mutex_);
  return modeText_;
}

std::string SerialPort::portPath() const {
  std::lock_guard lock(mutex_);
  return portPath_;
}

int SerialPort::ReadPort(uint8_t* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  if (!fd_ || lost_.load()) return -1;
  const uint64_t start = TickMs();
  size_t got = 0;
  while (got < count) {
    const uint64_t elapsed = TickMs() - start;
    if (elapsed >= kSerialReadTotalMs) break;
    const auto left = static_cast<uint32_t>(kSerialReadTotalMs - elapsed);
    // Before the first byte only the total counts; after it a 5 ms gap ends the read.
    const uint32_t waitMs = got == 0 ? left : std::min(left, kSerialByteGapMs);
    pollfd p{fd_.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, OsWaitMs(waitMs));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return got > 0 ? static_cast<int>(got) : -1;
    }
    if (ready == 0) {
      if (got > 0) break;
      continue;
    }
    const ssize_t n = ::read(fd_.get(), buffer + got, count - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      // The line is gone (a USB adapter unplugged, the other end of a pseudo-terminal closed).
      lost_.store(true);
      return got > 0 ? static_cast<int>(got) : -1;
    }
  }
  return static_cast<int>(got);
}

int SerialPort::WritePort(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  if (!fd_ || lost_.load()) return 0;
  // What the reader sent before this command is stale by now. Only input is
  // discarded: dropping output would lose the tail of our own previous
  // command (a send-only command followed at once by the next one).
  tcflush(fd_.get(), TCIFLUSH);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_.get(), bytes + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      lost_.store(true);
      return 0;
    }
    // Output queue full: wait for room, but not forever on a stuck line.
    pollfd p{fd_.get(), POLLOUT, 0};
    const int ready = ::poll(&p, 1, OsWaitMs(kSerialReadTotalMs));
    if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) lost_.store(true);
    if (ready <= 0 || lost_.load()) return 0;
  }
  return static_cast<int>(done);
}

}  // namespace orvane
