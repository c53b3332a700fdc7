#pragma once
// Answers as a reader would frame them, for the command tests.

#include <cstdint>
#include <vector>

#include "protocol/frames.h"

namespace orvane::test {

using Bytes = std::vector<uint8_t>;

// STX frame around `data`.
inline Bytes StxAnswerFrame(const Bytes& data) {
  Bytes frame(data.size() + kStxOverhead);
  std::copy(data.begin(), data.end(), frame.begin());
  frame.resize(BuildStxFrame(frame, data.size()));
  return frame;
}

// Header frame: tag, command, sub-command (or status in an answer),
// big-endian length, data, CRC.
inline Bytes HeaderFrameOf(uint8_t command, uint8_t second, const Bytes& data) {
  Bytes frame(data.size() + 4 + kHeaderOverhead);
  frame[0] = command;
  frame[1] = second;
  frame[2] = static_cast<uint8_t>(data.size() >> 8);
  frame[3] = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.begin() + 4);
  frame.resize(BuildHeaderFrame(frame, data.size() + 4));
  return frame;
}

}  // namespace orvane::test
