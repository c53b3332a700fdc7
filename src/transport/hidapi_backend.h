#pragma once
// HidBackend on hidapi (hidraw): the one used with real readers.

#include "transport/hid_backend.h"

namespace orvane {

class HidapiBackend final : public HidBackend {
 public:
  HidapiBackend();
  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidConnection> Open(const HidDeviceInfo& device, std::string* whyNot) override;
};

}  // namespace orvane
