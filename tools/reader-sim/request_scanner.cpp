#include "reader-sim/request_scanner.h"

#include <algorithm>

#include "protocol/frames.h"

namespace orvane::sim {
namespace {

constexpr size_t kEntryHeaderFrameLength = 27;  // 15-byte entry payload + 12
// Never buffer more than this: a frame can be no longer than kMaxRequestFrame,
// so anything older than that is junk.
constexpr size_t kBufferLimit = 4 * kMaxRequestFrame;

}  // namespace

long FrameLengthAt(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return 0;
  if (bytes[0] == kStx) {
    if (bytes.size() < 3) return 0;
    size_t total = (size_t{bytes[1]} | size_t{bytes[2]} << 8) + kStxOverhead;
    return total > kMaxRequestFrame ? -1 : static_cast<long>(total);
  }
  if (bytes[0] != kHeaderTag[0]) return -1;
  size_t compared = std::min(bytes.size(), sizeof kHeaderTag);
  if (!std::equal(bytes.begin(), bytes.begin() + static_cast<long>(compared), kHeaderTag)) return -1;
  if (bytes.size() < 14) return 0;
  if (bytes[10] == 0x78 && bytes[11] == 0x46) return static_cast<long>(kEntryHeaderFrameLength);
  size_t total = (size_t{bytes[12]} << 8 | bytes[13]) + 16;
  return total > kMaxRequestFrame ? -1 : static_cast<long>(total);
}

void RequestScanner::Append(std::span<const uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  if (buffer_.size() > kBufferLimit) {
    buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<long>(kBufferLimit));
  }
}

std::optional<std::vector<uint8_t>> RequestScanner::Next() {
  size_t start = 0;
  std::optional<std::vector<uint8_t>> frame;
  while (start < buffer_.size()) {
    std::span<const uint8_t> rest(buffer_.data() + start, buffer_.size() - start);
    long length = FrameLengthAt(rest);
    if (length < 0) {
      ++start;
      continue;
    }
    if (length == 0 || rest.size() < static_cast<size_t>(length)) break;
    if (rest[0] == kStx && rest[static_cast<size_t>(length) - 1] != kEtx) {
      ++start;  // a stray STX byte, not a frame
      continue;
    }
    frame.emplace(rest.begin(), rest.begin() + length);
    start += static_cast<size_t>(length);
    break;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(start));
  return frame;
}

}  // namespace orvane::sim
