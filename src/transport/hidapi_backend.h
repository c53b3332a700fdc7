#pragma once
// HidBackend on hidapi (hidraw): the one used with real readers.

#include <string>

#include "transport/hid_backend.h"

namespace orvane {

class HidapiBackend final : public HidBackend {
 public:
  // `hidrawClassFolder`: where the report descriptors and USB locations of
  // the hidraw nodes are read from (another folder in tests).
  explicit HidapiBackend(std::string hidrawClassFolder = "/sys/class/hidraw");
  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidConnection> Open(const HidDeviceInfo& device, std::string* whyNot) override;

 private:
  std::string hidrawClassFolder_;
};

}  // namespace orvane
