#include "reader-sim/reader_answers.h"

#include <algorithm>
#include <cstring>

#include "protocol/frames.h"

namespace orvane::sim {

Bytes HeaderAnswerFrame(uint8_t command, uint8_t status, std::span<const uint8_t> data) {
  Bytes frame(data.size() + 4 + kHeaderOverhead);
  size_t length = BuildHeaderFrameFor(frame, command, status, data);
  frame.resize(length);
  return frame;
}

Bytes StxAnswerFrame(std::span<const uint8_t> data) {
  Bytes frame(data.begin(), data.end());
  frame.resize(data.size() + kStxOverhead);
  size_t length = BuildStxFrame(frame, data.size());
  frame.resize(length);
  return frame;
}

Bytes StxAckFrame(std::span<const uint8_t> result) {
  Bytes data(result.size() + 1);
  data[0] = kAck;
  if (!result.empty()) std::memcpy(data.data() + 1, result.data(), result.size());
  return StxAnswerFrame(data);
}

Bytes StxNakFrame(uint16_t code) {
  const uint8_t data[] = {kNak, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code & 0xFF)};
  return StxAnswerFrame(data);
}

Bytes KeyboardAnswerFrame(uint8_t command, std::string_view text) {
  Bytes frame(text.size() + 4);
  frame[0] = kStx;
  frame[1] = command;
  std::memcpy(frame.data() + 2, text.data(), text.size());
  frame[text.size() + 2] = kEtx;
  frame.pop_back();
  uint8_t lrc = 0;
  for (uint8_t b : frame) lrc ^= b;
  frame.push_back(lrc);
  return frame;
}

Bytes BootloaderVersionData(char typeChar, std::string_view version, uint32_t stopPackage) {
  Bytes data(kBootloaderStopOffset + 4, 0);
  constexpr std::string_view kPrefix = "Bootloader FW ";
  std::memcpy(data.data(), kPrefix.data(), kPrefix.size());
  data[kBootloaderTypeOffset] = static_cast<uint8_t>(typeChar);
  size_t at = kBootloaderTypeOffset + 1;
  if (!version.empty()) {
    data[at++] = ' ';
    // Leave at least one NUL before the stop package.
    size_t room = kBootloaderStopOffset - 1 - at;
    size_t n = std::min(room, version.size());
    std::memcpy(data.data() + at, version.data(), n);
  }
  for (size_t i = 0; i < 4; ++i) data[kBootloaderStopOffset + i] = static_cast<uint8_t>(stopPackage >> (8 * i));
  return data;
}

void GarbleAnswer(Bytes& frame) {
  size_t begin = 0;
  size_t end = frame.size();
  if (frame.size() >= 16 && std::memcmp(frame.data(), kHeaderTag, sizeof kHeaderTag) == 0) {
    begin = 10;  // command, status, length, data, CRC
    end = frame.size() - 2;
    // Keep the length field so the frame still looks whole on a byte stream.
    for (size_t i = begin; i < end; ++i) {
      if (i == 12 || i == 13) continue;
      frame[i] ^= 0x5A;
    }
    return;
  }
  if (frame.size() > kStxOverhead && frame[0] == kStx && frame.back() == kEtx) {
    begin = 3;
    end = frame.size() - 3;
  }
  for (size_t i = begin; i < end; ++i) frame[i] ^= 0x5A;
}

}  // namespace orvane::sim
