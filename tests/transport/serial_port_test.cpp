#include "transport/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/clock.h"
#include "app/unique_fd.h"
#include "support/temp_dir.h"
#include "transport/serial_settings.h"
#include "transport/serial_speed.h"

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

// A pseudo-terminal pair: the test plays the reader on the master side and
// keeps a descriptor of its own on the port side to look at its settings.
class PtyPair {
 public:
  PtyPair() {
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) return;
    path_ = ::ptsname(master_.get());
    watcher_.reset(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  }
  const std::string& path() const { return path_; }
  int master() const { return master_.get(); }
  int watcher() const { return watcher_.get(); }
  void CloseMaster() { master_.reset(); }

  void Send(const std::string& bytes) const { ASSERT_EQ(::write(master_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
  // What the port wrote, waiting a little for it to come through.
  std::string Received(size_t expected) const {
    std::string got;
    char chunk[4096];
    while (got.size() < expected) {
      pollfd p{master_.get(), POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) break;
      const ssize_t n = ::read(master_.get(), chunk, sizeof chunk);
      if (n <= 0) break;
      got.append(chunk, static_cast<size_t>(n));
    }
    return got;
  }
  // Waits until bytes sent by the master are in the port's input queue.
  bool PortHasInput() const {
    pollfd p{watcher_.get(), POLLIN, 0};
    return ::poll(&p, 1, 2000) == 1;
  }
  termios PortSettings() const {
    termios tio{};
    tcgetattr(watcher_.get(), &tio);
    return tio;
  }

 private:
  UniqueFd master_;
  UniqueFd watcher_;
  std::string path_;
};

std::string SpecFor(const std::string& port, const std::string& settings = "/baud=9600/parity=N/stop=1/data=8") {
  return port + settings;
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(pty.path().empty()); }
  std::string Read(size_t count = 1024) {
    Bytes buffer(count);
    const int n = port.ReadPort(buffer.data(), buffer.size());
    return n > 0 ? std::string(buffer.begin(), buffer.begin() + n) : std::string();
  }
  int Write(const std::string& text) {
    return port.WritePort(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

  ManualClock clock;
  ScopedClock scoped{clock};
  PtyPair pty;
  SerialPort port;
};

TEST_F(SerialPortTest, OpensFromTheSpecificationText) {
  ASSERT_TRUE(port.OpenPort(SpecFor(pty.path())));
  EXPECT_TRUE(port.IsPortOpen());
  EXPECT_EQ(port.modeText(), "baud=9600 parity=N stop=1 data=8");
  EXPECT_EQ(port.portPath(), pty.path());
  const termios tio = pty.PortSettings();
  EXPECT_EQ(cfgetospeed(&tio), B9600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(tio.c_lflag & ICANON, 0u);

  // Bytes go both ways unchanged (raw line, no translation of CR or LF).
  EXPECT_EQ(Write("\x02\r\n\x03"), 4);
  EXPECT_EQ(pty.Received(4), "\x02\r\n\x03");
  pty.Send(std::string("\x02\x00\r\n", 4));
  EXPECT_EQ(Read(), std::string("\x02\x00\r\n", 4));
}

struct SettingsCase {
  std::string settings;
  speed_t speed;
  tcflag_t size;
  tcflag_t parity;  // PARENB, PARODD and CMSPAR bits
  bool twoStopBits;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << '"' << c.settings << '"'; }

class SerialSettingsTest : public SerialPortTest, public ::testing::WithParamInterface<SettingsCase> {};

// A pseudo-terminal keeps speed and stop bits but always runs 8 bits without
// parity, so size and parity are checked on the termios the settings make.
TEST_P(SerialSettingsTest, SettingsBecomeTermios) {
  const SettingsCase& c = GetParam();
  const auto parsed = ParseSerialSpecification("ttyS0" + c.settings);
  ASSERT_TRUE(parsed.has_value());
  termios tio{};
  cfmakeraw(&tio);
  tio.c_cflag |= PARENB | CSTOPB;  // whatever the port had before
  ApplySerialSettings(tio, parsed->settings);
  EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
  EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
  EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStopBits);

  ASSERT_TRUE(port.OpenPort(pty.path() + c.settings));
  const termios onPort = pty.PortSettings();
  EXPECT_EQ(cfgetospeed(&onPort), c.speed);
  EXPECT_EQ((onPort.c_cflag & CSTOPB) != 0, c.twoStopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SerialSettingsTest,
    ::testing::Values(SettingsCase{"/baud=115200/parity=E/stop=2/data=7", B115200, CS7, PARENB, true},
                      SettingsCase{"/baud=19200/parity=O/stop=1/data=8", B19200, CS8, PARENB | PARODD, false},
                      SettingsCase{"/baud=38400/parity=M/stop=1/data=6", B38400, CS6, PARENB | PARODD | CMSPAR, false},
                      SettingsCase{"/baud=57600/parity=s/stop=1/data=5", B57600, CS5, PARENB | CMSPAR, false},
                      SettingsCase{" / baud = 4800 /\tparity=N / stop=1 / data=8", B4800, CS8, 0, false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(SerialPortTest, RefusedOpensLeaveThePortClosed) {
  // "/dev/ptmx" is nine characters and names a real device: refused by length.
  EXPECT_FALSE(port.OpenPort("/dev/ptmx"));
  const std::string base = SpecFor(pty.path());
  EXPECT_FALSE(port.OpenPort(base + std::string(257 - base.size(), ' ')));
  for (const std::string settings :
       {"/baud=9600/parity=/stop=1/data=8", "/baud=9600/parity=X/stop=1/data=8", "/baud=9600/parity=N/stop=1.5/data=8",
        "/baud=9600/parity=N/stop=1/data=9", "/baud=9600/parity=N/stop=1/data=4", "/baud=0/parity=N/stop=1/data=8",
        "/baud=9600/parity=N/stop=1/data=8/flow=on", "/baud=fast/parity=N/stop=1/data=8"}) {
    EXPECT_FALSE(port.OpenPort(pty.path() + settings)) << settings;
  }
  EXPECT_FALSE(port.OpenPort("/dev/no-such-port/baud=9600/parity=N/stop=1/data=8"));
  EXPECT_FALSE(port.IsPortOpen());
  // The bounds themselves are fine: blanks are dropped after the length check.
  EXPECT_TRUE(port.OpenPort(base + std::string(256 - base.size(), ' ')));
  // A second open is refused until the port is closed.
  EXPECT_FALSE(port.OpenPort(SpecFor(pty.path(), "/baud=19200/parity=N/stop=1/data=8")));
  EXPECT_EQ(port.modeText(), "baud=9600 parity=N stop=1 data=8");
  port.ClosePort();
  EXPECT_FALSE(port.IsPortOpen());
  // Rates without a termios constant open too.
  for (const uint32_t rate : {14400u, 28800u, 56000u, 128000u, 256000u}) {
    ASSERT_TRUE(port.OpenPort(SpecFor(pty.path(), "/baud=" + std::to_string(rate) + "/parity=N/stop=1/data=8")))
        << rate;
    EXPECT_EQ(LineSpeed(pty.watcher()), rate);
    port.ClosePort();
  }
}

TEST_F(SerialPortTest, WriteDiscardsWhatTheReaderSentBeforeButNotEarlierWrites) {
  ASSERT_TRUE(port.OpenPort(SpecFor(pty.path())));
  pty.Send("stale answer");
  ASSERT_TRUE(pty.PortHasInput());
  // A send-only command followed at once by the next: the reader has not
  // read the first yet when the second is written.
  EXPECT_EQ(Write("prepare"), 7);
  EXPECT_EQ(Write("enter"), 5);
  EXPECT_EQ(pty.Received(12), "prepareenter");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(clock.Waits(), std::vector<uint32_t>{2500}) << "a silent reader is waited for 2500 ms";
}

TEST_F(SerialPortTest, GapAfterTheFirstBytesEndsTheRead) {
  // Real time here: only a real gap shows that the read ends long before its total time.
  RealClock real;
  ScopedClock useReal(real);
  ASSERT_TRUE(port.OpenPort(SpecFor(pty.path())));
  pty.Send("first");
  ASSERT_TRUE(pty.PortHasInput());
  const uint64_t start = TickMs();
  EXPECT_EQ(Read(), "first");
  EXPECT_LT(TickMs() - start, 1000u);
  pty.Send("0123456789");
  ASSERT_TRUE(pty.PortHasInput());
  EXPECT_EQ(Read(4), "0123");
  EXPECT_EQ(Read(), "456789");
}

TEST_F(SerialPortTest, ReadAndWriteFailWhenClosedOrWhenTheLineIsGone) {
  Bytes buffer(16);
  EXPECT_EQ(port.ReadPort(buffer.data(), buffer.size()), -1);
  EXPECT_EQ(port.WritePort(buffer.data(), buffer.size()), 0);
  ASSERT_TRUE(port.OpenPort(SpecFor(pty.path())));
  pty.CloseMaster();
  EXPECT_EQ(port.ReadPort(buffer.data(), buffer.size()), -1);
}

// ---- the port text ----

TEST(SerialSpecification, PortAndModeText) {
  struct Case {
    std::string text;
    std::string devicePath;  // empty: refused
    std::string modeText;
  };
  const Case cases[] = {
      {"COM3/baud=9600/parity=N/stop=1/data=8", "/dev/COM3", "baud=9600 parity=N stop=1 data=8"},
      {"/dev/pts/7/baud=9600/parity=N/stop=1/data=8", "/dev/pts/7", "baud=9600 parity=N stop=1 data=8"},
      {"ttyS0\\baud=9600\\parity=N", "/dev/ttyS0", "baud=9600 parity=N"},
      {"\tttyACM0 /baud=9600", "/dev/ttyACM0", "baud=9600"},
      {"/baud=9600/parity=N", "", ""},
      {"baud=9600/parity=N", "", ""},
      {"ttyS0/baud=/parity=N", "", ""},
      {"ttyS0/speed=9600", "", ""},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseSerialSpecification(c.text);
    ASSERT_EQ(parsed.has_value(), !c.devicePath.empty()) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->devicePath, c.devicePath);
    EXPECT_EQ(parsed->modeText, c.modeText);
  }
}

// ---- the port listing ----

class PortListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const fs::path root = dir.path();
    const fs::path devices = root / "devices";
    const fs::path drivers = root / "bus/platform/drivers/serial8250";
    fs::create_directories(drivers);
    fs::create_directories(devices / "platform/serial8250");
    fs::create_directory_symlink(drivers, devices / "platform/serial8250/driver");
    fs::create_directories(devices / "pci0000:00/usb1/1-1/1-1:1.0");
    dir.Write("devices/pci0000:00/usb1/1-1/product", "FT232R USB UART\n");
    fs::create_directories(devices / "pci0000:00/usb1/1-2/1-2:1.0");
    dir.Write("devices/pci0000:00/usb1/1-2/product", "Card Reader CDC\n");

    const auto addTty = [&](const std::string& name, const std::string& device, const char* type) {
      fs::create_directories(root / "class/tty" / name);
      if (!device.empty()) fs::create_directory_symlink(devices / device, root / "class/tty" / name / "device");
      if (type) dir.Write("class/tty/" + name + "/type", type);
    };
    addTty("ttyS0", "platform/serial8250", "4\n");
    addTty("ttyS1", "platform/serial8250", "0\n");  // no UART behind it
    addTty("ttyS10", "platform/serial8250", "4\n");
    addTty("ttyS2", "platform/serial8250", "4\n");
    addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0", nullptr);
    addTty("ttyACM0", "pci0000:00/usb1/1-2/1-2:1.0", nullptr);
    addTty("tty0", "", nullptr);  // a virtual terminal
    fs::create_directories(root / "dev");
    for (const char* node : {"ttyS0", "ttyS2", "ttyUSB0"}) dir.Write(std::string("dev/") + node, "");
  }

  std::vector<PortInfo> List(bool probe) {
    std::vector<PortInfo> ports;
    EnumeratePortsIn(ports, probe, dir.File("class/tty"), dir.File("dev"));
    return ports;
  }

  test::TempDir dir;
};

TEST_F(PortListingTest, ListsPortsWithDriverInNaturalOrder) {
  const auto ports = List(false);
  std::vector<std::string> names;
  for (const auto& port : ports) names.push_back(port.friendlyName);
  EXPECT_EQ(names, (std::vector<std::string>{"Card Reader CDC (ttyACM0)", "serial8250 (ttyS0)", "serial8250 (ttyS2)",
                                             "serial8250 (ttyS10)", "FT232R USB UART (ttyUSB0)"}));
  const PortInfo& usb = ports.back();
  EXPECT_TRUE(usb.isUsb);
  EXPECT_EQ(usb.devicePath, dir.File("dev") + "/ttyUSB0");
  EXPECT_FALSE(ports[1].isUsb);
  // The probe drops ports that cannot be opened.
  names.clear();
  for (const auto& port : List(true)) names.push_back(port.portName);
  EXPECT_EQ(names, (std::vector<std::string>{"ttyS0", "ttyS2", "ttyUSB0"}));
}

TEST_F(PortListingTest, UnreadableListingRaisesItsMessage) {
  std::vector<PortInfo> ports{PortInfo{}};
  try {
    EnumeratePortsIn(ports, false, dir.File("no-such-folder"), dir.File("dev"));
    FAIL() << "no error raised";
  } catch (const SerialPortError& error) {
    EXPECT_EQ(std::string(error.what()), "Could not read from " + dir.File("no-such-folder") + ". (err=2)");
  }
  EXPECT_TRUE(ports.empty());
}

}  // namespace
}  // namespace orvane
