#include "reader-sim/sim_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "app/clock.h"
#include "reader-sim/reply_delivery.h"
#include "reader-sim/request_scanner.h"

namespace orvane::sim {
namespace {

// A frame whose bytes stop coming for this long is abandoned: on a serial
// line that is the end of the message.
constexpr uint32_t kFrameGapMs = 500;
constexpr uint32_t kIdleWaitMs = 1000;
constexpr uint32_t kWriteWaitMs = 2000;

}  // namespace

SimPty::SimPty(SimulatedReader& reader, std::string linkPath) : reader_(reader), linkPath_(std::move(linkPath)) {}

SimPty::~SimPty() { Stop(); }

bool SimPty::Start() {
  if (thread_.joinable()) return true;
  pause_.Reset();
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) return false;
  char name[128];
  if (::ptsname_r(master.get(), name, sizeof name) != 0) return false;
  // Hold the slave open and raw: no echo or line editing before the tool
  // opens it, and the line stays up while the tool closes and reopens it.
  UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave) return false;
  termios tio{};
  if (::tcgetattr(slave.get(), &tio) != 0) return false;
  ::cfmakeraw(&tio);
  if (::tcsetattr(slave.get(), TCSANOW, &tio) != 0) return false;
  int flags = ::fcntl(master.get(), F_GETFL);
  ::fcntl(master.get(), F_SETFL, flags | O_NONBLOCK);
  if (!linkPath_.empty()) {
    ::unlink(linkPath_.c_str());
    if (::symlink(name, linkPath_.c_str()) != 0) return false;
    linkMade_ = true;
  }
  path_ = name;
  toReader_ = SerialLineTiming(reader_.Options().lineBaud);
  toTool_ = SerialLineTiming(reader_.Options().lineBaud);
  master_ = std::move(master);
  slave_ = std::move(slave);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimPty::Stop() {
  pause_.RequestStop();
  if (thread_.joinable()) thread_.join();
  if (linkMade_) ::unlink(linkPath_.c_str());
  linkMade_ = false;
  master_.reset();
  slave_.reset();
}

bool SimPty::Send(const Bytes& bytes) {
  return WritePaced(toTool_, pause_, bytes.size(), [&] { return Write(bytes.data(), bytes.size()); });
}

bool SimPty::Write(const uint8_t* bytes, size_t count) {
  size_t sent = 0;
  while (sent < count) {
    ssize_t n = ::write(master_.get(), bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && pause_.WaitFd(master_.get(), POLLOUT, kWriteWaitMs) > 0) continue;
    return false;
  }
  return true;
}

void SimPty::Run() {
  RequestScanner scanner;
  uint64_t lastByteMs = TickMs();
  uint64_t silentUntil = 0;  // rebooting: what arrives before this is not heard
  bool silent = false;
  while (!pause_.Stopping()) {
    uint32_t waitMs = kIdleWaitMs;
    if (silent) {
      uint64_t now = TickMs();
      if (now >= silentUntil) {
        silent = false;
        scanner.Clear();
        continue;
      }
      waitMs = static_cast<uint32_t>(std::min<uint64_t>(silentUntil - now, kIdleWaitMs));
    } else if (scanner.Pending()) {
      waitMs = kFrameGapMs;
    }
    int revents = pause_.WaitFd(master_.get(), POLLIN, waitMs);
    if (revents < 0) return;
    if (revents == 0) {
      if (!silent && scanner.Pending() && TickMs() - lastByteMs >= kFrameGapMs) scanner.Clear();
      continue;
    }
    uint8_t buffer[2048];
    ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
    if (n <= 0) {
      // No slave end open at the moment (EIO) or nothing after all.
      if (n < 0 && errno != EAGAIN && errno != EINTR && !pause_.Pause(kFrameGapMs)) return;
      continue;
    }
    if (silent) continue;
    // The request is heard once its last byte has crossed the line.
    toReader_.Enqueue(TickMs(), static_cast<size_t>(n));
    if (toReader_.Paced() && !PauseUntil(pause_, toReader_.BusyUntilMs())) return;
    lastByteMs = TickMs();
    scanner.Append({buffer, static_cast<size_t>(n)});
    while (auto frame = scanner.Next()) {
      ReaderReply reply = reader_.HandleRequest(*frame);
      Delivery d = Deliver(reader_, reply, pause_, [this](const Bytes& b) { return Send(b); });
      if (d == Delivery::Stopped) return;
      if (d == Delivery::LinkDown) {
        silent = true;
        silentUntil = TickMs() + reader_.Options().rebootDelayMs;
        scanner.Clear();
        break;
      }
    }
  }
}

}  // namespace orvane::sim
