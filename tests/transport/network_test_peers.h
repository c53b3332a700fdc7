#pragma once
// Header frames as the reader sends them, built by the protocol's own builder.

#include <cstdint>
#include <vector>

#include "protocol/frames.h"

namespace orvane::test {

using Bytes = std::vector<uint8_t>;

// A header frame with `dataLength` data bytes (n + 16 bytes).
inline Bytes HeaderFrame(uint8_t command, size_t dataLength, uint8_t fill = 0x5A) {
  Bytes frame(dataLength + 32);
  frame.resize(BuildHeaderFrameFor(frame, command, 0x00, Bytes(dataLength, fill)));
  return frame;
}

// The same frame without its first letter (n + 15 bytes).
inline Bytes ShortFormFrame(uint8_t command, size_t dataLength, uint8_t fill = 0x5A) {
  Bytes frame = HeaderFrame(command, dataLength, fill);
  frame.erase(frame.begin());
  return frame;
}

inline Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace orvane::test
