// ParseHeaderResponse on any bytes, into a data buffer of any size, and the
// length of the leading frame of either framing.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "protocol/frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  FuzzedDataProvider input(data, size);
  // Exactly sized buffers, so that AddressSanitizer sees a byte too far.
  std::vector<uint8_t> out(input.ConsumeIntegralInRange<size_t>(0, 2048));
  const std::vector<uint8_t> response = input.ConsumeRemainingBytes<uint8_t>();

  uint8_t status = 0x5A;
  const size_t length = ParseHeaderResponse(response, out, &status);
  ORVANE_FUZZ_CHECK(length <= out.size());
  if (length > 0) {
    const bool fullForm = response.size() >= 14 && std::memcmp(response.data(), kHeaderTag, 10) == 0;
    const size_t start = fullForm ? 14 : 13;
    ORVANE_FUZZ_CHECK(start + length <= response.size());
    ORVANE_FUZZ_CHECK(std::memcmp(out.data(), response.data() + start, length) == 0);
    ORVANE_FUZZ_CHECK(status == response[start - 3]);
  }
  // The status may be left out; the data found must not change.
  ORVANE_FUZZ_CHECK(ParseHeaderResponse(response, out, nullptr) == length);

  for (FrameProtocol protocol : {FrameProtocol::Header, FrameProtocol::Stx}) {
    const size_t frame = LeadingFrameLength(response, protocol);
    ORVANE_FUZZ_CHECK(frame <= response.size());
    // Never shorter than the framing itself (a short-form header is 15 bytes).
    ORVANE_FUZZ_CHECK(frame == 0 || frame >= (protocol == FrameProtocol::Header ? 15 : kStxOverhead));
  }
  // A command echo is read only from exactly one whole header frame, and from
  // the byte before the status.
  const std::optional<uint8_t> command = HeaderFrameCommand(response);
  ORVANE_FUZZ_CHECK(command.has_value() == (LeadingFrameLength(response, FrameProtocol::Header) == response.size() &&
                                            !response.empty()));
  if (command) ORVANE_FUZZ_CHECK(*command == response[response[0] == kHeaderTag[0] ? 10 : 9]);
  return 0;
}
