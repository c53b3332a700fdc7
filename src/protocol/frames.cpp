#include "protocol/frames.h"

#include <array>
#include <algorithm>
#include <cstring>

namespace orvane {
namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr auto kCrcTable = MakeCrcTable();

// Slice k holds the CRC of byte i followed by k zero bytes, so that eight
// bytes fold into the register in one step; the result is the same as one
// byte at a time (a block frame is a thousand bytes, and a module thousands
// of frames).
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrcSlices() {
  std::array<std::array<uint16_t, 256>, 8> slices{};
  slices[0] = MakeCrcTable();
  for (size_t k = 1; k < slices.size(); ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      const uint16_t previous = slices[k - 1][i];
      slices[k][i] = static_cast<uint16_t>(slices[0][previous >> 8] ^ ((previous & 0xFF) << 8));
    }
  }
  return slices;
}

constexpr auto kCrcSlices = MakeCrcSlices();

}  // namespace

uint16_t Crc16Ccitt(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  const auto& t = kCrcSlices;
  for (; count >= 8; bytes += 8, count -= 8) {
    crc = static_cast<uint16_t>(t[7][bytes[0] ^ (crc >> 8)] ^ t[6][bytes[1] ^ (crc & 0xFF)] ^ t[5][bytes[2]] ^
                                t[4][bytes[3]] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]]);
  }
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(kCrcTable[(crc >> 8) ^ bytes[i]] ^ ((crc & 0xFF) << 8));
  }
  return crc;
}

XorSum XorAndSum(const uint8_t* bytes, size_t count) {
  XorSum result;
  for (size_t i = 0; i < count; ++i) {
    result.sum = static_cast<uint8_t>(result.sum + bytes[i]);
    result.xorValue ^= bytes[i];
  }
  return result;
}

size_t BuildHeaderFrame(std::span<uint8_t> buffer, size_t payloadLength) {
  size_t total = payloadLength + kHeaderOverhead;
  if (buffer.size() < total) return 0;
  std::memmove(buffer.data() + sizeof kHeaderTag, buffer.data(), payloadLength);
  std::memcpy(buffer.data(), kHeaderTag, sizeof kHeaderTag);
  uint16_t crc = Crc16Ccitt(buffer.data(), payloadLength + sizeof kHeaderTag);
  buffer[payloadLength + 10] = static_cast<uint8_t>(crc & 0xFF);
  buffer[payloadLength + 11] = static_cast<uint8_t>(crc >> 8);
  return total;
}

size_t BuildHeaderFrameFor(std::span<uint8_t> buffer, uint8_t command, uint8_t subCommand,
                           std::span<const uint8_t> data) {
  if (data.size() > 0xFFFF || buffer.size() < data.size() + 4 + kHeaderOverhead) return 0;
  buffer[0] = command;
  buffer[1] = subCommand;
  buffer[2] = static_cast<uint8_t>(data.size() >> 8);
  buffer[3] = static_cast<uint8_t>(data.size() & 0xFF);
  if (!data.empty()) std::memmove(buffer.data() + 4, data.data(), data.size());
  return BuildHeaderFrame(buffer, data.size() + 4);
}

size_t BuildStxFrame(std::span<uint8_t> buffer, size_t dataLength) {
  if (dataLength > 0xFFFF || buffer.size() < dataLength + kStxOverhead) return 0;
  XorSum check = XorAndSum(buffer.data(), dataLength);
  std::memmove(buffer.data() + 3, buffer.data(), dataLength);
  buffer[0] = kStx;
  buffer[1] = static_cast<uint8_t>(dataLength & 0xFF);
  buffer[2] = static_cast<uint8_t>(dataLength >> 8);
  buffer[dataLength + 3] = check.xorValue;
  buffer[dataLength + 4] = check.sum;
  buffer[dataLength + 5] = kEtx;
  return dataLength + kStxOverhead;
}

size_t BuildStxCommandFrame(uint32_t commandId, std::span<uint8_t> buffer, size_t dataLength, bool& ok) {
  ok = false;
  if (commandId != kBootloadBlockId) return 0;
  if (buffer.size() < dataLength + 1 + kStxOverhead) return 0;
  std::memmove(buffer.data() + 1, buffer.data(), dataLength);
  buffer[0] = 0x42;  // 'B'
  size_t length = BuildStxFrame(buffer, dataLength + 1);
  ok = length != 0;
  return length;
}

size_t BuildKeyboardCommandFrame(uint8_t commandByte, std::span<uint8_t> buffer) {
  if (buffer.size() < 5) return 0;
  buffer[0] = kStx;
  buffer[1] = 0x52;
  buffer[2] = commandByte;
  buffer[3] = kEtx;
  buffer[4] = static_cast<uint8_t>(buffer[0] ^ buffer[1] ^ buffer[2] ^ buffer[3]);
  return 5;
}

size_t ParseHeaderResponse(std::span<const uint8_t> response, std::span<uint8_t> outData, uint8_t* status) {
  size_t shift;  // 0 for the full form, 1 when the first letter is missing
  if (response.size() >= 14 && std::memcmp(response.data(), kHeaderTag, 10) == 0) {
    shift = 0;
  } else if (response.size() >= 13 && std::memcmp(response.data(), kHeaderTag + 1, 9) == 0) {
    shift = 1;
  } else {
    if (status) *status = kHeaderStatusNone;
    return 0;
  }
  if (status) *status = response[11 - shift];
  size_t declared = size_t{response[12 - shift]} << 8 | response[13 - shift];
  size_t start = 14 - shift;
  size_t length = std::min({declared, response.size() - start, outData.size()});
  if (length) std::memcpy(outData.data(), response.data() + start, length);
  return length;
}

size_t LeadingFrameLength(std::span<const uint8_t> bytes, FrameProtocol protocol) {
  size_t length = 0;
  if (protocol == FrameProtocol::Stx) {
    if (bytes.size() < 3 || bytes[0] != kStx) return 0;
    length = (size_t{bytes[1]} | size_t{bytes[2]} << 8) + kStxOverhead;
  } else {
    // Tag, command, status, length (2), data, CRC (2); one less without the first letter.
    size_t shift;
    if (bytes.size() >= 14 && std::memcmp(bytes.data(), kHeaderTag, 10) == 0) {
      shift = 0;
    } else if (bytes.size() >= 13 && std::memcmp(bytes.data(), kHeaderTag + 1, 9) == 0) {
      shift = 1;
    } else {
      return 0;
    }
    length = (size_t{bytes[12 - shift]} << 8 | bytes[13 - shift]) + 16 - shift;
  }
  return length <= bytes.size() ? length : 0;
}

std::optional<uint8_t> HeaderFrameCommand(std::span<const uint8_t> bytes) {
  const size_t length = LeadingFrameLength(bytes, FrameProtocol::Header);
  if (length == 0 || length != bytes.size()) return std::nullopt;
  // The short form lacks the first letter: every field sits one byte earlier.
  return bytes[0] == kHeaderTag[0] ? bytes[10] : bytes[9];
}

StxVerdict ValidateStxResponse(std::span<const uint8_t> response, uint16_t* statusCode) {
  size_t length = response.size();
  if (length <= 6) return StxVerdict::NotStx;
  int16_t declared = static_cast<int16_t>(response[1] | response[2] << 8);
  if (static_cast<long>(length) != long{declared} + 6) return StxVerdict::NotStx;
  if (response[0] != kStx || response[length - 1] != kEtx) return StxVerdict::Malformed;
  if (statusCode) *statusCode = static_cast<uint16_t>(response[4] << 8 | response[5]);
  if (response[3] == kNak) return StxVerdict::Nak;
  if (response[3] != kAck) return StxVerdict::Malformed;
  return declared == 1 ? StxVerdict::AckOnly : StxVerdict::Ack;
}

}  // namespace orvane
