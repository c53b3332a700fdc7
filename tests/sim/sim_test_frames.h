#pragma once
// Requests as the tool frames them, built with the project's frame functions.

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "protocol/frames.h"

namespace orvane::sim::test {

using Bytes = std::vector<uint8_t>;

inline Bytes HeaderFrame(uint8_t command, uint8_t sub, const Bytes& data = {}) {
  Bytes frame(data.size() + 16);
  frame.resize(BuildHeaderFrameFor(frame, command, sub, data));
  return frame;
}

inline Bytes StxFrame(const Bytes& data) {
  Bytes frame(data);
  frame.resize(data.size() + kStxOverhead);
  frame.resize(BuildStxFrame(frame, data.size()));
  return frame;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(Bytes a, const Bytes& b) {
  size_t n = a.size();
  a.resize(n + b.size());
  if (!b.empty()) std::memcpy(a.data() + n, b.data(), b.size());
  return a;
}

// 78 46, the access code, eight zeros.
inline Bytes EntryPayload(const std::string& code) {
  Bytes p(15, 0);
  p[0] = 0x78;
  p[1] = 0x46;
  std::memcpy(p.data() + 2, code.data(), std::min<size_t>(code.size(), 5));
  return p;
}

// The entry payload wrapped as a header frame, as the tool sends it to a reader it speaks STX to.
inline Bytes EntryHeaderFrame(const std::string& code) {
  Bytes frame = EntryPayload(code);
  frame.resize(27);
  frame.resize(BuildHeaderFrame(frame, 15));
  return frame;
}

inline Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

inline Bytes HeaderBlock(uint32_t address, const Bytes& data) { return HeaderFrame(0xC7, 0x43, Cat(Le32(address), data)); }

inline Bytes StxBlock(uint32_t address, const Bytes& data) {
  Bytes frame = Cat(Le32(address), data);
  size_t n = frame.size();
  frame.resize(n + 7);
  bool ok = false;
  frame.resize(BuildStxCommandFrame(kBootloadBlockId, frame, n, ok));
  return frame;
}

inline Bytes IdentifyHeader() { return HeaderFrame(0x29, 0x00); }
inline Bytes IdentifyStx() { return StxFrame({0x78, 0x46, 0x01}); }
inline Bytes IdentifyStxDisplay() { return StxFrame({0x78, 0x31}); }

// The answer a header-framed reader gives: command echo, status, data.
inline Bytes HeaderAnswer(uint8_t command, uint8_t status, const Bytes& data = {}) {
  return HeaderFrame(command, status, data);
}

// A module file's sections as the tool sends them: preamble halves at 0 and
// 1, data blocks from `base`, trailer at 0xFFFFFFFF.
struct Section {
  uint32_t address;
  Bytes data;
};

inline std::vector<Section> ModuleSections(uint32_t base, size_t blocks, size_t blockSize, bool preamble = true) {
  std::vector<Section> sections;
  if (preamble) {
    sections.push_back({0, Bytes{0x01, 0x02, 'A', 'B', 0x03, 0x00}});
    sections.push_back({1, Bytes(6, 0x5C)});
  }
  for (size_t i = 0; i < blocks; ++i) {
    Bytes data(blockSize);
    for (size_t j = 0; j < blockSize; ++j) data[j] = static_cast<uint8_t>(i * 7 + j);
    sections.push_back({base + static_cast<uint32_t>(i * blockSize), data});
  }
  sections.push_back({0xFFFFFFFF, Bytes{0xEE, 0xFF}});
  return sections;
}

}  // namespace orvane::sim::test
