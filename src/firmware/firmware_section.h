#pragma once
// One transferable piece of a module file: a section of a parsed application
// or bootloader module, or a 1024-byte chunk of a kernel or UniApp file.

#include <cstdint>
#include <vector>

namespace orvane {

struct FirmwareSection {
  std::vector<uint8_t> data;  // owned copy of the bytes
  uint32_t index = 0;         // place in the file
  uint32_t address = 0;       // target address or marker, sent low byte first

  uint32_t length() const { return static_cast<uint32_t>(data.size()); }
};

}  // namespace orvane
