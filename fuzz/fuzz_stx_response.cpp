// ValidateStxResponse on any bytes.

#include <vector>

#include "fuzz_support.h"
#include "protocol/frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  const std::vector<uint8_t> response(data, data + size);  // exactly sized
  uint16_t code = 0xA5A5;
  const StxVerdict verdict = ValidateStxResponse(response, &code);
  switch (verdict) {
    case StxVerdict::NotStx:
      ORVANE_FUZZ_CHECK(code == 0xA5A5);
      break;
    case StxVerdict::Ack:
    case StxVerdict::AckOnly:
    case StxVerdict::Nak:
      ORVANE_FUZZ_CHECK(size > 6 && response.front() == kStx && response.back() == kEtx);
      ORVANE_FUZZ_CHECK(size == size_t{response[1]} + (size_t{response[2]} << 8) + 6);
      ORVANE_FUZZ_CHECK(response[3] == (verdict == StxVerdict::Nak ? kNak : kAck));
      ORVANE_FUZZ_CHECK(code == (response[4] << 8 | response[5]));
      ORVANE_FUZZ_CHECK((verdict == StxVerdict::AckOnly) == (verdict != StxVerdict::Nak && size == 7));
      break;
    case StxVerdict::Malformed:
      ORVANE_FUZZ_CHECK(size > 6);
      break;
    default:
      ORVANE_FUZZ_CHECK(!"unknown verdict");
  }
  ORVANE_FUZZ_CHECK(ValidateStxResponse(response, nullptr) == verdict);
  return 0;
}
