#include "transport/network_frame_scanner.h"

#include <gtest/gtest.h>

#include <cstring>

#include "network_test_peers.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrame;
using test::Joined;
using test::ShortFormFrame;

// A short-form frame with its first letter restored.
Bytes Full(const Bytes& frame) { return !frame.empty() && frame[0] == 'e' ? Joined({Bytes{'K'}, frame}) : frame; }

// Reads the whole stream the way successive frame reads do, arriving in
// pieces of `piece` bytes; every frame in full form.
std::vector<Bytes> ReadAll(const Bytes& stream, size_t piece) {
  std::vector<Bytes> frames;
  std::deque<PendingFrame> pending;
  auto scanner = std::make_unique<NetworkFrameScanner>();
  size_t at = 0;
  const auto takeOldest = [&] {
    frames.emplace_back(pending.front().data, pending.front().data + pending.front().length);
    pending.pop_front();
    scanner = std::make_unique<NetworkFrameScanner>();
  };
  while (at < stream.size()) {
    const std::span<uint8_t> space = scanner->Space();
    EXPECT_FALSE(space.empty());
    const size_t n = std::min({piece, space.size(), stream.size() - at});
    std::memcpy(space.data(), stream.data() + at, n);
    at += n;
    if (const auto frame = scanner->Add(n, pending)) {
      frames.push_back(Full(Bytes(frame->begin(), frame->end())));
      scanner = std::make_unique<NetworkFrameScanner>();
    } else if (!pending.empty() && scanner->AtBoundary()) {
      takeOldest();
    }
  }
  while (!pending.empty()) takeOldest();
  return frames;
}

// Garbage, a short-form frame, frames too long to keep and the largest that fits.
TEST(NetworkFrameScanner, SameFramesWhateverTheSegmentSizes) {
  const Bytes a = HeaderFrame(0x29, 0, 0);  // zero-length data
  const Bytes b = ShortFormFrame(0x2A, 33, 0x4B);
  const Bytes c = HeaderFrame(0x2B, 1000, 0x65);
  const Bytes largest = HeaderFrame(0x2D, kNetworkFrameCapacity - 16);
  const Bytes overlong = HeaderFrame(0x2C, 2100, 'K');
  const Bytes tooLarge = HeaderFrame(0x2E, kNetworkFrameCapacity - 15);
  const Bytes stream = Joined({Bytes{'K', 'e', 'L', 0x00}, a, b, Bytes{'e', 'L'}, overlong, c, largest, tooLarge, a});
  const std::vector<Bytes> expected{a, Full(b), c, largest, a};
  for (size_t piece :
       {size_t{1}, size_t{2}, size_t{5}, size_t{9}, size_t{16}, size_t{100}, size_t{700}, size_t{2048}}) {
    EXPECT_EQ(ReadAll(stream, piece), expected) << "pieces of " << piece;
  }
}

TEST(NetworkFrameScanner, PendingFramesAreBounded) {
  // Two frames at a time: the first is never the only one, so both are kept.
  const Bytes pair = Joined({HeaderFrame(0x29, 0), HeaderFrame(0x29, 0)});
  NetworkFrameScanner scanner;
  std::deque<PendingFrame> pending;
  for (size_t i = 0; i < kMaxPendingFrames; ++i) {
    std::memcpy(scanner.Space().data(), pair.data(), pair.size());
    scanner.Add(pair.size(), pending);
  }
  EXPECT_EQ(pending.size(), kMaxPendingFrames);
}

}  // namespace
}  // namespace orvane
