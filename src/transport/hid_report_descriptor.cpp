#include "transport/hid_report_descriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace orvane {

namespace {

// Global state of the descriptor parser that matters for lengths.
struct Globals {
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint32_t reportId = 0;
};

// Real descriptors nest a handful of pushes at most; more is treated as corrupt.
constexpr size_t kMaxPushDepth = 16;
// Far beyond any real report; keeps the sums from overflowing.
constexpr uint64_t kMaxReportBits = 8u * 65536u;

}  // namespace

std::optional<HidDescriptorSummary> ParseReportDescriptor(std::span<const uint8_t> d) {
  Globals g;
  std::vector<Globals> stack;
  // Bits per report id, per kind (0 input, 1 output, 2 feature).
  std::map<uint32_t, uint64_t> bits[3];
  size_t i = 0;
  while (i < d.size()) {
    const uint8_t prefix = d[i];
    if (prefix == 0xFE) {  // long item: skip it whole
      if (i + 2 >= d.size()) return std::nullopt;
      i += 3 + d[i + 1];
      continue;
    }
    const size_t size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
    if (i + 1 + size > d.size()) return std::nullopt;
    uint32_t value = 0;
    for (size_t k = 0; k < size; ++k) value |= static_cast<uint32_t>(d[i + 1 + k]) << (8 * k);
    const uint8_t tag = prefix & 0xFC;
    switch (tag) {
      case 0x80:  // Input
      case 0x90:  // Output
      case 0xB0: {  // Feature
        const int kind = tag == 0x80 ? 0 : tag == 0x90 ? 1 : 2;
        uint64_t& total = bits[kind][g.reportId];
        total += static_cast<uint64_t>(g.reportSize) * g.reportCount;
        if (total > kMaxReportBits) return std::nullopt;
        break;
      }
      case 0x74: g.reportSize = value; break;
      case 0x94: g.reportCount = value; break;
      case 0x84: g.reportId = value; break;
      case 0xA4:  // Push
        if (stack.size() >= kMaxPushDepth) return std::nullopt;
        stack.push_back(g);
        break;
      case 0xB4:  // Pop
        if (stack.empty()) return std::nullopt;
        g = stack.back();
        stack.pop_back();
        break;
      default: break;
    }
    i += 1 + size;
  }
  const auto longest = [&](int kind) -> size_t {
    uint64_t most = 0;
    for (const auto& [id, b] : bits[kind]) most = std::max(most, b);
    return most == 0 ? 0 : 1 + static_cast<size_t>((most + 7) / 8);
  };
  HidDescriptorSummary summary;
  summary.lengths = {longest(0), longest(1), longest(2)};
  if (summary.lengths.input == 0 && summary.lengths.output == 0) return std::nullopt;
  for (const auto& kind : bits) {
    for (const auto& [id, b] : kind) summary.numberedReports |= id != 0 && b != 0;
  }
  return summary;
}

}  // namespace orvane
