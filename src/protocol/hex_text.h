#pragma once
// Bytes to spaced hexadecimal text for the exchange log, and hexadecimal text
// from the configuration file to bytes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// "02 01 00 06": two upper-case digits per byte, one blank between bytes.
std::string FormatHexSpaced(std::span<const uint8_t> bytes);
// Same, appended to `out` (nothing is appended for no bytes).
void AppendHexSpaced(std::string& out, std::span<const uint8_t> bytes);

// One byte per pair of characters; any character that is not a hex digit
// counts as 0; a final unpaired character is ignored.
std::vector<uint8_t> ParseHexText(std::string_view text);

}  // namespace orvane
