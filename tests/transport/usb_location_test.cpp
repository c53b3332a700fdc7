#include "transport/usb_location.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace orvane::test {
namespace {

// Where hidraw3/device leads under a made-up /sys, and the location found there.
class UsbLocationTest : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(UsbLocationTest, IsTheLastUsbDeviceOnTheWayToTheHidraw) {
  TempDir sys;
  std::filesystem::create_directories(sys.File(GetParam().first));
  std::filesystem::create_directories(sys.File("hidraw3"));
  std::filesystem::create_directory_symlink(sys.File(GetParam().first), sys.File("hidraw3/device"));
  EXPECT_EQ(UsbLocationOfHidraw(sys.path(), "/dev/hidraw3"), GetParam().second);
  for (const char* path : {"/dev/hidraw4", "hidraw3", "/dev/../hidraw3", "/dev/", "/dev/x/../hidraw3"}) {
    EXPECT_EQ(UsbLocationOfHidraw(sys.path(), path), "") << path << ": no node, or not a hidraw one";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Trees, UsbLocationTest,
    ::testing::Values(
        std::pair{"devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.1/0003:2FE3:0100.0007", "3-1"},
        std::pair{"devices/pci0000:00/0000:00:14.0/usb2/2-10/2-10.4/2-10.4.12/2-10.4.12:1.0/0003:2FE3:0100.0009",
                  "2-10.4.12"},
        std::pair{"devices/platform/i2c-1/i2c-DLL0945:00/0018:06CB:7E7E.0001", ""},
        std::pair{"devices/platform/soc/fe804000.i2c/i2c-1/1-0015/0018:04F3:3010.0001", ""},
        std::pair{"devices/virtual/misc/uhid/0005:046D:B01A.0003", ""}),
    [](const auto& info) { return "Tree" + std::to_string(info.index); });

}  // namespace
}  // namespace orvane::test
