#pragma once
// Cuts request frames (header or STX framing) out of a byte stream, skipping
// bytes that cannot start a frame, such as the zero preamble a tool sends
// before a frame on a serial line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane::sim {

// Longest request frame taken; a declared length beyond it means the bytes
// are not a frame.
inline constexpr size_t kMaxRequestFrame = 4096;

// Length of the frame that starts at bytes[0]: the whole frame's length once
// it can be told, 0 when more bytes are needed to tell, -1 when bytes[0]
// cannot start a frame. The header-framed bootloader-entry command (command
// 0x78, sub-command 0x46) is always 27 bytes: its length field holds letters
// of the access code.
long FrameLengthAt(std::span<const uint8_t> bytes);

class RequestScanner {
 public:
  void Append(std::span<const uint8_t> bytes);
  // The next whole frame; nothing when more bytes are needed.
  std::optional<std::vector<uint8_t>> Next();
  // Bytes of an unfinished frame are buffered.
  bool Pending() const { return !buffer_.empty(); }
  void Clear() { buffer_.clear(); }

 private:
  std::vector<uint8_t> buffer_;
};

}  // namespace orvane::sim
