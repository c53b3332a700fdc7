#pragma once
// The three transports and the one ReaderChannel over them, built together
// from the settings and a HID backend, for every front end and test rig that
// needs a channel of its own.

#include "app/bootload_settings.h"
#include "bootload/reader_channel.h"
#include "transport/hid_backend.h"
#include "transport/hid_device.h"
#include "transport/network_link.h"
#include "transport/serial_port.h"

namespace orvane {

class TransportBundle {
 public:
  // `settings` and `hidBackend` must outlive the bundle.
  TransportBundle(const BootloadSettings& settings, HidBackend& hidBackend)
      : hid_(hidBackend), channel_(settings, hid_, serial_, network_) {}
  TransportBundle(const TransportBundle&) = delete;
  TransportBundle& operator=(const TransportBundle&) = delete;

  ReaderChannel& channel() { return channel_; }
  HidDevice& hid() { return hid_; }
  SerialPort& serial() { return serial_; }
  NetworkLink& network() { return network_; }

 private:
  HidDevice hid_;
  SerialPort serial_;
  NetworkLink network_;
  ReaderChannel channel_;
};

}  // namespace orvane
