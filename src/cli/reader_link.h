#pragma once
// The transports and the reader channel of one command-line run.

#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "bootload/reader_channel.h"
#include "transport/hid_device.h"
#include "transport/network_link.h"
#include "transport/serial_port.h"

namespace orvane::cli {

class ReaderLink {
 public:
  // `ports`: serial devices to try instead of the system's listing (may be empty).
  ReaderLink(const BootloadSettings& settings, const std::vector<std::string>& ports);
  ReaderLink(const ReaderLink&) = delete;
  ReaderLink& operator=(const ReaderLink&) = delete;

  ReaderChannel& channel() { return channel_; }
  HidDevice& hid() { return hid_; }

 private:
  HidDevice hid_;
  SerialPort serial_;
  NetworkLink network_;
  ReaderChannel channel_;
};

// A device path as the port listing would describe it.
PortInfo PortInfoForPath(const std::string& devicePath);

}  // namespace orvane::cli
