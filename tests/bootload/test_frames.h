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

// Header frame of `command` with `second` as sub-command (or as status in an answer).
inline Bytes HeaderFrameOf(uint8_t command, uint8_t second, const Bytes& data) {
  Bytes frame(data.size() + 4 + kHeaderOverhead);
  frame.resize(BuildHeaderFrameFor(frame, command, second, data));
  return frame;
}

}  // namespace orvane::test
