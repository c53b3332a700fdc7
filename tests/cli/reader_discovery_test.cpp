// `--readers all`: which local readers the many-reader run finds.

#include <gtest/gtest.h>
#include <pty.h>

#include <memory>

#include "app/clock.h"
#include "app/unique_fd.h"
#include "cli/reader_discovery.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/simulated_reader.h"
#include "transport/fake_hid_backend.h"
#include "transport/serial_port.h"

namespace orvane::cli {
namespace {

std::shared_ptr<FakeHidDevice> Device(uint16_t pid, int interfaceNumber, const std::string& path,
                                      const std::string& location) {
  auto device = std::make_shared<FakeHidDevice>(0x1209, pid, interfaceNumber, interfaceNumber > 0);
  device->SetAddress(path, location);
  return device;
}

TEST(ReaderDiscovery, OneHidReaderPerLocationAndOnlySerialPortsWhoseReaderAnswers) {
  ScaledClock clock(20);
  ScopedClock scoped(clock);
  BootloadSettings settings;
  settings.vidPidList = {{0x1209, 0x3810, 1}, {0x1209, 0x3811, 1}};
  settings.baudRateList = {115200};
  settings.dataBits = "8";
  settings.stopBits = "1";
  settings.parity = "N";

  FakeHidBackend hid;
  // A reader with two interfaces, one in its bootloader (another product id), and a stranger.
  hid.AddDevice(Device(0x3810, 0, "/dev/hidraw3", "1-2.3"));
  hid.AddDevice(Device(0x3810, 1, "/dev/hidraw4", "1-2.3"));
  hid.AddDevice(Device(0x3811, 0, "/dev/hidraw5", "1-2.4"));
  auto stranger = std::make_shared<FakeHidDevice>(0x046D, 0xC52B);
  stranger->SetAddress("/dev/hidraw6", "1-3");
  hid.AddDevice(stranger);

  sim::ReaderOptions options;
  sim::SimulatedReader reader(options);
  sim::SimPty answering(reader);
  ASSERT_TRUE(answering.Start());
  // A terminal on which nothing answers.
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  UniqueFd masterFd(master), slaveFd(slave);
  const std::string silent = ::ttyname(slave);

  const auto specs = FindLocalReaders(settings, hid, [&](std::vector<PortInfo>& ports) {
    for (const std::string& path : {silent, answering.Path()}) {
      PortInfo info;
      info.devicePath = path;
      ports.push_back(info);
    }
  });
  EXPECT_EQ(specs, (std::vector<std::string>{"hid:1-2.3", "hid:1-2.4", "serial:" + answering.Path()}));
}

}  // namespace
}  // namespace orvane::cli
