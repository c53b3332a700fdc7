#include "transport/usb_location.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "transport/hidraw/hid_descriptors.h"

namespace orvane::test {
namespace {

struct TreeCase {
  const char* name;
  std::string deviceTree;  // where hidraw3/device leads, under the made-up /sys
  std::string location;
};

void PrintTo(const TreeCase& c, std::ostream* os) { *os << c.name; }

class UsbLocationTest : public ::testing::TestWithParam<TreeCase> {};

TEST_P(UsbLocationTest, IsTheLastUsbDeviceOnTheWayToTheHidraw) {
  TempDir sys;
  const std::string classFolder = sys.File("class/hidraw");
  LinkHidrawNode(classFolder, "hidraw3", sys, GetParam().deviceTree);
  EXPECT_EQ(UsbLocationOfHidraw(classFolder, "/dev/hidraw3"), GetParam().location);
  EXPECT_EQ(UsbLocationOfHidraw(classFolder, "/dev/hidraw4"), "") << "a node sysfs does not show";
}

INSTANTIATE_TEST_SUITE_P(
    Trees, UsbLocationTest,
    ::testing::Values(
        TreeCase{"OnAHub", "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0/0003:2FE3:0100.0005", "1-2.3"},
        TreeCase{"OnARootPort", "devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.1/0003:2FE3:0100.0007", "3-1"},
        TreeCase{"BehindTwoHubs", "devices/pci0000:00/0000:00:14.0/usb2/2-10/2-10.4/2-10.4.12/2-10.4.12:1.0/"
                                  "0003:2FE3:0100.0009",
                 "2-10.4.12"},
        TreeCase{"OnI2c", "devices/platform/i2c-1/i2c-DLL0945:00/0018:06CB:7E7E.0001", ""},
        TreeCase{"OnI2cByDeviceTree", "devices/platform/soc/fe804000.i2c/i2c-1/1-0015/0018:04F3:3010.0001", ""},
        TreeCase{"Virtual", "devices/virtual/misc/uhid/0005:046D:B01A.0003", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbLocation, OnlyHidrawNodesAreLookedUp) {
  TempDir sys;
  LinkHidrawNode(sys.path(), "hidraw3", sys, "devices/usb1/1-2/1-2:1.0/0003:2FE3:0100.0001");
  EXPECT_EQ(UsbLocationOfHidraw(sys.path(), "/dev/hidraw3"), "1-2");
  for (const char* path : {"hidraw3", "/dev/../hidraw3", "/dev/", "/dev/x/../hidraw3"}) {
    EXPECT_EQ(UsbLocationOfHidraw(sys.path(), path), "") << path;
  }
}

}  // namespace
}  // namespace orvane::test
