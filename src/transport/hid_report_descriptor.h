#pragma once
// Report lengths from a HID report descriptor: for each kind, one report-id
// byte plus the bytes of the longest report of that kind.

#include <cstdint>
#include <optional>
#include <span>

#include "transport/hid_backend.h"

namespace orvane {

struct HidDescriptorSummary {
  HidReportLengths lengths;  // a kind the descriptor lacks gets length 0
  bool numberedReports = false;  // reports carry a report id of their own
};

// nullopt when the descriptor is malformed or declares no input and no output report.
std::optional<HidDescriptorSummary> ParseReportDescriptor(std::span<const uint8_t> descriptor);

}  // namespace orvane
