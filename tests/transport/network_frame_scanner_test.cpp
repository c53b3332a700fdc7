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

Bytes Full(const Bytes& frame) {
  if (!frame.empty() && frame[0] == 'e') return Joined({Bytes{'K'}, frame});
  return frame;
}

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

TEST(NetworkFrameScanner, SameFramesWhateverTheSegmentSizes) {
  const Bytes a = HeaderFrame(0x29, 0, 0);  // zero-length data
  const Bytes b = ShortFormFrame(0x2A, 33, 0x4B);
  const Bytes c = HeaderFrame(0x2B, 1000, 0x65);
  const Bytes overlong = HeaderFrame(0x2C, 2100, 'K');
  const Bytes stream = Joined({Bytes{'K', 'e', 'L', 0x00}, a, b, Bytes{'e', 'L'}, overlong, c, a});
  const std::vector<Bytes> expected{a, Full(b), c, a};
  for (size_t piece : {size_t{1}, size_t{2}, size_t{5}, size_t{9}, size_t{16}, size_t{100}, size_t{2048}}) {
    EXPECT_EQ(ReadAll(stream, piece), expected) << "pieces of " << piece;
  }
}

TEST(NetworkFrameScanner, LargestFrameThatFitsIsKept) {
  const Bytes largest = HeaderFrame(0x29, kNetworkFrameCapacity - 16);
  const Bytes tooLarge = HeaderFrame(0x29, kNetworkFrameCapacity - 15);
  const Bytes small = HeaderFrame(0x30, 1);
  EXPECT_EQ(ReadAll(Joined({small, largest, tooLarge, small}), 700), (std::vector<Bytes>{small, largest, small}));
}

TEST(NetworkFrameScanner, GarbageAloneNeverFillsUpOrStalls) {
  Bytes noise(10000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7 + 1);
  EXPECT_TRUE(ReadAll(noise, 3000).empty());
}

TEST(NetworkFrameScanner, PendingFramesAreBounded) {
  std::vector<Bytes> many(kMaxPendingFrames + 10, HeaderFrame(0x29, 0));
  Bytes stream;
  for (const Bytes& frame : many) stream.insert(stream.end(), frame.begin(), frame.end());
  NetworkFrameScanner scanner;
  std::deque<PendingFrame> pending;
  size_t at = 0;
  while (at < stream.size()) {
    const auto space = scanner.Space();
    const size_t n = std::min(space.size(), stream.size() - at);
    std::memcpy(space.data(), stream.data() + at, n);
    at += n;
    scanner.Add(n, pending);
  }
  EXPECT_EQ(pending.size(), kMaxPendingFrames);
}

}  // namespace
}  // namespace orvane
