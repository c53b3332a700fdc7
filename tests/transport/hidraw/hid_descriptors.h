#pragma once
// Report descriptors of the reader's interfaces as sysfs shows them, the
// report lengths (id byte included) that go with them, and the link from a
// hidraw node into the USB device tree.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "transport/hid_backend.h"

namespace orvane::test {

// Counted layout: unnumbered reports of 64 bytes each way, 64-byte feature reports.
inline constexpr HidReportLengths kUnnumberedLengths{65, 65, 65};
// Sequenced layout: report ids 1 to 4 each way, 63 bytes after the id.
inline constexpr HidReportLengths kNumberedLengths{64, 64, 0};
// Keyboard interface: 8-byte key reports, the 1-byte lamp report, 64-byte feature reports.
inline constexpr HidReportLengths kKeyboardLengths{9, 2, 65};

inline std::vector<uint8_t> VendorDescriptor(bool numbered) {
  std::vector<uint8_t> d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08};  // vendor page, collection, bytes
  if (!numbered) {
    d.insert(d.end(), {0x95, 0x40, 0x09, 0x01, 0x81, 0x02,    // 64 in
                       0x09, 0x01, 0x91, 0x02,                // 64 out
                       0x09, 0x01, 0xB1, 0x02});              // 64 feature
  } else {
    for (uint8_t id = 1; id <= 4; ++id) {
      d.insert(d.end(), {0x85, id, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02});  // 63 each way
    }
  }
  d.push_back(0xC0);
  return d;
}

inline std::vector<uint8_t> KeyboardDescriptor() {
  return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,        // generic desktop, keyboard
          0x75, 0x08, 0x95, 0x08, 0x81, 0x02,        // 8 bytes of keys
          0x75, 0x01, 0x95, 0x05, 0x91, 0x02,        // 5 lamps
          0x75, 0x03, 0x95, 0x01, 0x91, 0x01,        // padding to a byte
          0x06, 0x00, 0xFF, 0x75, 0x08, 0x95, 0x40, 0xB1, 0x02,  // 64 feature bytes
          0xC0};
}

// <folder>/<node>/device/report_descriptor, as under /sys/class/hidraw.
inline void WriteReportDescriptor(const TempDir& folder, const std::string& node, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(folder.File(node + "/device"));
  folder.Write(node + "/device/report_descriptor", std::string(bytes.begin(), bytes.end()));
}

// <classFolder>/<node>/device leading to <root>/<deviceTree>, a made-up
// sysfs device folder such as "devices/.../usb1/1-2/1-2.3/1-2.3:1.0/0003:...".
inline void LinkHidrawNode(const std::string& classFolder, const std::string& node, const TempDir& root,
                           const std::string& deviceTree) {
  std::filesystem::create_directories(root.File(deviceTree));
  std::filesystem::create_directories(classFolder + "/" + node);
  std::filesystem::create_directory_symlink(root.File(deviceTree), classFolder + "/" + node + "/device");
}

}  // namespace orvane::test
