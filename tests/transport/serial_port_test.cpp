#include "transport/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "app/clock.h"
#include "app/unique_fd.h"
#include "support/temp_dir.h"
#include "transport/serial_settings.h"
#include "transport/serial_speed.h"

namespace orvane {
namespace {

constexpr const char* k9600 = "/baud=9600/parity=N/stop=1/data=8";

// A pseudo-terminal: the test plays the reader on the master side and keeps a
// descriptor of its own on the port side to look at its settings.
class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0);
    path = ::ptsname(master.get());
    watcher.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  }
  // Sends as the reader and waits until the bytes are in the port's input queue.
  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(master.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    pollfd p{watcher.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
  }
  // What the port wrote, waiting a little for it to come through.
  std::string Received(size_t expected) {
    std::string got;
    char chunk[4096];
    for (pollfd p{master.get(), POLLIN, 0}; got.size() < expected && ::poll(&p, 1, 2000) > 0;) {
      const ssize_t n = ::read(master.get(), chunk, sizeof chunk);
      if (n <= 0) break;
      got.append(chunk, static_cast<size_t>(n));
    }
    return got;
  }
  std::string Read(size_t count = 1024) {
    std::vector<uint8_t> buffer(count);
    const int n = port.ReadPort(buffer.data(), buffer.size());
    return n > 0 ? std::string(buffer.begin(), buffer.begin() + n) : std::string();
  }
  int Write(const std::string& text) {
    return port.WritePort(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

  ManualClock clock;
  ScopedClock scoped{clock};
  UniqueFd master;
  UniqueFd watcher;
  std::string path;
  SerialPort port;
};

// Settings text, speed, character size, parity bits (PARENB, PARODD, CMSPAR), two stop bits.
using SettingsCase = std::tuple<std::string, speed_t, tcflag_t, tcflag_t, bool>;

class SerialSettingsTest : public SerialPortTest, public ::testing::WithParamInterface<SettingsCase> {};

// A pseudo-terminal keeps speed and stop bits but always runs 8 bits without
// parity, so size and parity are checked on the termios the settings make.
TEST_P(SerialSettingsTest, SettingsBecomeTermios) {
  const auto& [settings, speed, size, parity, twoStopBits] = GetParam();
  const auto parsed = ParseSerialSpecification("ttyS0" + settings);
  ASSERT_TRUE(parsed.has_value());
  termios tio{};
  cfmakeraw(&tio);
  tio.c_cflag |= PARENB | CSTOPB;  // whatever the port had before
  ApplySerialSettings(tio, parsed->settings);
  EXPECT_EQ(tio.c_cflag & CSIZE, size);
  EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), parity);
  EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, twoStopBits);

  ASSERT_TRUE(port.OpenPort(path + settings));
  EXPECT_EQ(port.portPath(), path);
  termios onPort{};
  ASSERT_EQ(tcgetattr(watcher.get(), &onPort), 0);
  EXPECT_EQ(cfgetospeed(&onPort), speed);
  EXPECT_EQ((onPort.c_cflag & CSTOPB) != 0, twoStopBits);
  // A raw line: no flow control, no translation of CR or LF, no line editing.
  EXPECT_EQ(onPort.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(onPort.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR), 0u);
  EXPECT_EQ(onPort.c_oflag & OPOST, 0u);
  EXPECT_EQ(onPort.c_lflag & ICANON, 0u);
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
  EXPECT_EQ(Read(), "") << "a closed port reads nothing";
  // "/dev/ptmx" is nine characters and names a real device: refused by length.
  EXPECT_FALSE(port.OpenPort("/dev/ptmx"));
  const std::string base = path + k9600;
  EXPECT_FALSE(port.OpenPort(base + std::string(257 - base.size(), ' ')));
  for (const std::string settings :
       {"/baud=9600/parity=/stop=1/data=8", "/baud=9600/parity=X/stop=1/data=8", "/baud=9600/parity=N/stop=1.5/data=8",
        "/baud=9600/parity=N/stop=1/data=9", "/baud=9600/parity=N/stop=1/data=4", "/baud=0/parity=N/stop=1/data=8",
        "/baud=9600/parity=N/stop=1/data=8/flow=on", "/baud=fast/parity=N/stop=1/data=8", "/baud=/parity=N",
        "/speed=9600", "/parity=NE", "/data=x", "/stop=x"}) {
    EXPECT_FALSE(port.OpenPort(path + settings)) << settings;
  }
  // No port, and a port that is no terminal.
  for (const char* text : {"/baud=9600/parity=N", "baud=9600/parity=N", "/dev/null/baud=9600"}) {
    EXPECT_FALSE(port.OpenPort(text)) << text;
  }
  EXPECT_FALSE(port.OpenPort(std::string("/dev/no-such-port") + k9600));
  EXPECT_FALSE(port.IsPortOpen());
  // The bounds themselves are fine: blanks are dropped after the length check.
  EXPECT_TRUE(port.OpenPort(base + std::string(256 - base.size(), ' ')));
  // A second open is refused until the port is closed.
  EXPECT_FALSE(port.OpenPort(path + "/baud=19200/parity=N/stop=1/data=8"));
  EXPECT_EQ(port.modeText(), "baud=9600 parity=N stop=1 data=8");
  port.ClosePort();
  EXPECT_FALSE(port.IsPortOpen());
  // Rates without a termios constant open too.
  for (const uint32_t rate : {14400u, 28800u, 56000u, 128000u, 256000u}) {
    ASSERT_TRUE(port.OpenPort(path + "/baud=" + std::to_string(rate) + "/parity=N/stop=1/data=8")) << rate;
    EXPECT_EQ(LineSpeed(watcher.get()), rate);
    port.ClosePort();
  }
}

TEST_F(SerialPortTest, WriteDiscardsWhatTheReaderSentBeforeButNotEarlierWrites) {
  ASSERT_TRUE(port.OpenPort(path + k9600));
  Send("stale answer");
  // A send-only command followed at once by the next: the reader has not
  // read the first yet when the second is written.
  EXPECT_EQ(Write("prepare"), 7);
  EXPECT_EQ(Write("enter"), 5);
  EXPECT_EQ(Received(12), "prepareenter");
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(clock.Waits(), std::vector<uint32_t>{2500}) << "a silent reader is waited for 2500 ms";
}

// ---- the port text ----

TEST(SerialSpecification, PortAndModeText) {
  // Text, device path, mode text.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"COM3/baud=9600/parity=N/stop=1/data=8", "/dev/COM3", "baud=9600 parity=N stop=1 data=8"},
      {"ttyS0\\baud=9600\\parity=N", "/dev/ttyS0", "baud=9600 parity=N"},
      {"\tttyACM0 /baud=9600", "/dev/ttyACM0", "baud=9600"},
      {"ttyS0//baud=9600", "/dev/ttyS0", "baud=9600"},
  };
  for (const auto& [text, devicePath, modeText] : cases) {
    const auto parsed = ParseSerialSpecification(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(parsed->devicePath, devicePath);
    EXPECT_EQ(parsed->modeText, modeText);
  }
}

// ---- the port listing ----

class PortListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const fs::path devices = dir.File("devices");
    for (const char* folder : {"bus/platform/drivers/serial8250", "devices/platform/serial8250",
                               "devices/usb1/1-1/1-1:1.0", "devices/usb1/1-2/1-2:1.0", "dev"}) {
      fs::create_directories(dir.File(folder));
    }
    fs::create_directory_symlink(dir.File("bus/platform/drivers/serial8250"), devices / "platform/serial8250/driver");
    dir.Write("devices/usb1/1-1/product", "FT232R USB UART\n");
    dir.Write("devices/usb1/1-2/product", "Card Reader CDC\n");
    // Name, where its device leads (none: a virtual terminal), the UART type (none: not shown).
    const std::tuple<std::string, std::string, const char*> ttys[] = {
        {"ttyS0", "platform/serial8250", "4\n"},
        {"ttyS1", "platform/serial8250", "0\n"},  // no UART behind it
        {"ttyS10", "platform/serial8250", "4\n"},
        {"ttyS2", "platform/serial8250", "4\n"},
        {"ttyUSB0", "usb1/1-1/1-1:1.0", nullptr},
        {"ttyACM0", "usb1/1-2/1-2:1.0", nullptr},
        {"tty0", "", nullptr}};
    for (const auto& [name, device, type] : ttys) {
      fs::create_directories(dir.File("class/tty/" + name));
      if (!device.empty()) fs::create_directory_symlink(devices / device, dir.File("class/tty/" + name + "/device"));
      if (type) dir.Write("class/tty/" + name + "/type", type);
    }
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
  EXPECT_TRUE(ports.back().isUsb);
  EXPECT_EQ(ports.back().devicePath, dir.File("dev") + "/ttyUSB0");
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
