#pragma once
// One transferable piece of a module file: a section of a parsed application
// or bootloader module, or a 1024-byte chunk of a kernel or UniApp file.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

// What one module may be, to be sent at all: a command frame carries at most
// this many bytes of a piece, and a queue holds at most this many commands.
inline constexpr size_t kMaxSendablePieceLength = 1040;
inline constexpr size_t kMaxSendablePieces = 2048;

struct FirmwareSection {
  std::vector<uint8_t> data;  // owned copy of the bytes that were read
  uint32_t index = 0;         // place in the file
  uint32_t address = 0;       // target address or marker, sent low byte first
  // Bytes of the piece left in the file: a module that can never be sent
  // keeps only its layout, so that judging it costs no more than its size.
  uint32_t unread = 0;

  uint32_t length() const { return static_cast<uint32_t>(data.size()) + unread; }
  bool loaded() const { return unread == 0; }
};

}  // namespace orvane
