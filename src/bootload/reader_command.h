#pragma once
// Shared steps of the reader commands: put a finished frame into a named
// record, exchange it, and keep the answer.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "bootload/reader_channel.h"

namespace orvane {

struct ReaderAnswer {
  bool exchangeOk = false;  // the exchange's own verdict
  uint32_t length = 0;      // bytes received (0: none)
  std::array<uint8_t, kResponseBufferSize> bytes{};

  std::span<const uint8_t> view() const { return std::span<const uint8_t>(bytes.data(), length); }
};

// Exchanges `frame` under the display name `name`. A frame that does not fit
// a record is not sent (exchangeOk false, no answer).
ReaderAnswer SendReaderCommand(ReaderChannel& channel, std::string_view name, std::span<const uint8_t> frame,
                               ResponseWait wait);

}  // namespace orvane
