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

// Header answer: tag, command echo, status, big-endian length, data, CRC.
inline Bytes HeaderAnswer(uint8_t command, uint8_t status, const Bytes& data) {
  Bytes frame(data.size() + 4 + kHeaderOverhead);
  frame[0] = command;
  frame[1] = status;
  frame[2] = static_cast<uint8_t>(data.size() >> 8);
  frame[3] = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.begin() + 4);
  frame.resize(BuildHeaderFrame(frame, data.size() + 4));
  return frame;
}

// The data of a header request frame (after command, sub-command, length).
inline Bytes HeaderRequestData(const Bytes& frame) {
  if (frame.size() < 16) return {};
  return Bytes(frame.begin() + 14, frame.end() - 2);
}

}  // namespace orvane::test
