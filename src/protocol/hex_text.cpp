#include "protocol/hex_text.h"

namespace orvane {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

uint8_t DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 0;
}

}  // namespace

void AppendHexSpaced(std::string& out, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  out.reserve(out.size() + bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) out.push_back(' ');
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
  }
}

std::string FormatHexSpaced(std::span<const uint8_t> bytes) {
  std::string out;
  AppendHexSpaced(out, bytes);
  return out;
}

std::vector<uint8_t> ParseHexText(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(DigitValue(text[i]) * 16 + DigitValue(text[i + 1])));
  }
  return bytes;
}

}  // namespace orvane
