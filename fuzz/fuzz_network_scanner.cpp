// The network frame scanner, fed one byte stream in arbitrary segments. The
// frames found must be the same whatever the segments: a reader's answer may
// arrive in any number of TCP segments.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <deque>
#include <vector>

#include "fuzz_support.h"
#include "protocol/frames.h"
#include "transport/network_frame_scanner.h"

namespace {

using Frame = std::vector<uint8_t>;

// Every frame of `stream`, each in full form, reading as the link reads:
// at most Space() bytes at a time, `segments` deciding how many arrive.
std::vector<Frame> Scan(const std::vector<std::span<const uint8_t>>& segments) {
  using namespace orvane;
  NetworkFrameScanner scanner;
  std::vector<Frame> frames;
  std::deque<PendingFrame> pending;
  for (std::span<const uint8_t> segment : segments) {
    while (!segment.empty()) {
      const std::span<uint8_t> space = scanner.Space();
      ORVANE_FUZZ_CHECK(!space.empty() && space.size() <= kNetworkFrameCapacity);
      const size_t n = std::min(space.size(), segment.size());
      std::memcpy(space.data(), segment.data(), n);
      segment = segment.subspan(n);
      const auto frame = scanner.Add(n, pending);
      for (const PendingFrame& stored : pending) {
        ORVANE_FUZZ_CHECK(stored.length <= kNetworkFrameCapacity);
        frames.emplace_back(stored.data, stored.data + stored.length);
      }
      ORVANE_FUZZ_CHECK(!(frame && !pending.empty()));
      pending.clear();
      if (frame) {
        ORVANE_FUZZ_CHECK(scanner.AtBoundary());
        Frame whole(frame->begin(), frame->end());
        if (!whole.empty() && whole[0] != kHeaderTag[0]) whole.insert(whole.begin(), kHeaderTag[0]);
        frames.push_back(std::move(whole));
      }
    }
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  FuzzedDataProvider input(data, size);
  const std::vector<uint8_t> lengths = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 64));
  const std::vector<uint8_t> stream = input.ConsumeRemainingBytes<uint8_t>();

  const std::vector<Frame> frames = Scan(fuzz::Segments(stream, lengths));
  for (const Frame& frame : frames) {
    ORVANE_FUZZ_CHECK(frame.size() >= 16 && frame.size() <= kNetworkFrameCapacity);
    ORVANE_FUZZ_CHECK(std::memcmp(frame.data(), kHeaderTag, 9) == 0);
    ORVANE_FUZZ_CHECK(frame.size() == (size_t{frame[12]} << 8 | frame[13]) + 16);
  }
  // The same stream in one piece.
  const std::vector<Frame> whole = Scan({std::span<const uint8_t>(stream)});
  ORVANE_FUZZ_CHECK(frames == whole);
  return 0;
}
