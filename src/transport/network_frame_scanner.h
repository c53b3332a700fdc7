#pragma once
// Cuts the byte stream of a network link into whole header frames, in either
// header form: "KeLOmarn2" (length at +12, n + 16 bytes on the wire) or with
// the first letter missing (length at +11, n + 15 bytes).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "transport/network_link.h"

namespace orvane {

inline constexpr size_t kMaxPendingFrames = 256;

class NetworkFrameScanner {
 public:
  // Room for the next read, after the bytes kept so far; never empty.
  std::span<uint8_t> Space();
  // Takes `count` bytes just written into Space() and scans them. A frame
  // followed by more bytes goes to `pending` in full form. A frame that ends
  // exactly with the received bytes is returned as it came when `pending` is
  // empty; otherwise it is appended to `pending` too. Bytes that start no header are skipped one at a time; a frame
  // longer than kNetworkFrameCapacity is dropped with its bytes.
  std::optional<std::span<const uint8_t>> Add(size_t count, std::deque<PendingFrame>& pending);
  // Every byte received so far has been used up (no partial frame waiting).
  bool AtBoundary() const { return received_ == scan_ && discard_ == 0; }
  size_t DroppedFrames() const { return droppedFrames_; }

 private:
  uint8_t buffer_[kNetworkFrameCapacity] = {};
  size_t received_ = 0;
  size_t scan_ = 0;
  size_t discard_ = 0;  // bytes of an over-long frame still to skip
  size_t droppedFrames_ = 0;
};

// Appends a frame to `pending`, restoring the missing first letter.
void AppendPendingFrame(std::deque<PendingFrame>& pending, std::span<const uint8_t> frame, bool shortForm);

}  // namespace orvane
