#pragma once
// Where a HID interface sits on the USB: the bus and port chain as the kernel
// names the USB device ("1-2.3": bus 1, port 2, then port 3 of the hub). It
// stays the same when the device re-enumerates under another hidraw node,
// so a reader that reboots into its bootloader can be found again by it.

#include <string>

namespace orvane {

// The location of the hidraw node `devicePath` ("/dev/hidraw3") from the
// class folder (/sys/class/hidraw), whose hidrawN/device leads into the USB
// device tree; empty when the node is not under a USB device or cannot be read.
std::string UsbLocationOfHidraw(const std::string& hidrawClassFolder, const std::string& devicePath);

}  // namespace orvane
