#include "transport/usb_location.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace orvane {

namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A kernel USB device name: digits, '-', digits and dots ("1-2.3"). Root
// hubs ("usb1") and interfaces ("1-2.3:1.0") are not.
bool IsUsbDeviceName(std::string_view name) {
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos || !IsDigits(name.substr(0, dash))) return false;
  std::string_view ports = name.substr(dash + 1);
  for (;;) {
    const size_t dot = ports.find('.');
    if (!IsDigits(ports.substr(0, dot))) return false;
    if (dot == std::string_view::npos) return true;
    ports.remove_prefix(dot + 1);
  }
}

}  // namespace

std::string UsbLocationOfHidraw(const std::string& hidrawClassFolder, const std::string& devicePath) {
  const std::string prefix = "/dev/";
  if (devicePath.rfind(prefix, 0) != 0) return {};
  const std::string node = devicePath.substr(prefix.size());
  if (node.empty() || node.find('/') != std::string::npos || node == "." || node == "..") return {};
  std::error_code error;
  const std::filesystem::path device =
      std::filesystem::canonical(std::filesystem::path(hidrawClassFolder) / node / "device", error);
  if (error) return {};
  // The HID device hangs below the USB interface, which hangs below the USB
  // device; hubs on the way are USB devices too, so the last one counts.
  // Only below a root hub ("usb1"): I2C clients are named "1-0015" as well.
  std::string location;
  bool belowRootHub = false;
  for (const auto& part : device) {
    const std::string& name = part.native();
    if (name.size() > 3 && name.starts_with("usb") && IsDigits(std::string_view(name).substr(3))) {
      belowRootHub = true;
    } else if (belowRootHub && IsUsbDeviceName(name)) {
      location = name;
    }
  }
  return location;
}

}  // namespace orvane
