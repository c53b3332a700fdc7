#include "transport/network_frame_scanner.h"

#include <algorithm>
#include <cstring>

#include "protocol/frames.h"

namespace orvane {

namespace {

constexpr size_t kFullTagLength = 9;  // "KeLOmarn2"; the zero after it is not examined

enum class Header { None, Partial, Full, Short };

Header HeaderAt(const uint8_t* bytes, size_t available) {
  const auto matches = [&](const uint8_t* tag, size_t length) {
    return std::memcmp(bytes, tag, std::min(available, length)) == 0;
  };
  const bool full = matches(kHeaderTag, kFullTagLength);
  const bool shortForm = matches(kHeaderTag + 1, kFullTagLength - 1);
  if (full && available >= kFullTagLength) return Header::Full;
  if (shortForm && available >= kFullTagLength - 1) return Header::Short;
  return full || shortForm ? Header::Partial : Header::None;
}

}  // namespace

void AppendPendingFrame(std::deque<PendingFrame>& pending, std::span<const uint8_t> frame, bool shortForm) {
  const size_t length = frame.size() + (shortForm ? 1 : 0);
  if (length > kNetworkFrameCapacity || pending.size() >= kMaxPendingFrames) return;
  PendingFrame& stored = pending.emplace_back();
  size_t at = 0;
  if (shortForm) stored.data[at++] = kHeaderTag[0];
  std::copy(frame.begin(), frame.end(), stored.data + at);
  stored.length = static_cast<uint32_t>(length);
}

std::span<uint8_t> NetworkFrameScanner::Space() {
  if (received_ == scan_) {
    received_ = scan_ = 0;
  } else if (received_ == kNetworkFrameCapacity) {
    std::memmove(buffer_, buffer_ + scan_, received_ - scan_);
    received_ -= scan_;
    scan_ = 0;
    // Cannot happen with frames bounded by the capacity; never stall if it does.
    if (received_ == kNetworkFrameCapacity) received_ = 0;
  }
  return {buffer_ + received_, kNetworkFrameCapacity - received_};
}

std::optional<std::span<const uint8_t>> NetworkFrameScanner::Add(size_t count, std::deque<PendingFrame>& pending) {
  received_ += std::min(count, kNetworkFrameCapacity - received_);
  size_t pos = scan_;
  while (pos < received_) {
    if (discard_ > 0) {
      const size_t skip = std::min(discard_, received_ - pos);
      pos += skip;
      discard_ -= skip;
      continue;
    }
    const Header header = HeaderAt(buffer_ + pos, received_ - pos);
    if (header == Header::None) {
      ++pos;
      continue;
    }
    if (header == Header::Partial) break;
    const bool shortForm = header == Header::Short;
    const size_t lengthAt = pos + (shortForm ? 11 : 12);
    if (lengthAt + 2 > received_) break;
    const size_t dataLength = static_cast<size_t>(buffer_[lengthAt]) << 8 | buffer_[lengthAt + 1];
    const size_t wire = dataLength + (shortForm ? 15 : 16);
    if (dataLength + 16 > kNetworkFrameCapacity) {
      ++droppedFrames_;
      discard_ = wire;
      continue;
    }
    if (pos + wire > received_) break;
    const std::span<const uint8_t> frame(buffer_ + pos, wire);
    pos += wire;
    if (pos == received_ && pending.empty()) {
      scan_ = received_;
      return frame;
    }
    AppendPendingFrame(pending, frame, shortForm);
  }
  scan_ = pos;
  return std::nullopt;
}

}  // namespace orvane
