#pragma once
// Texts from files and readers reach the terminal only as printable text: a
// control byte (an escape sequence, a carriage return) could otherwise
// rewrite what the operator sees.

#include <string>
#include <string_view>

namespace orvane::cli {

// Control bytes but the tab become '.'; bytes from 0x80 up pass (UTF-8 and 8-bit texts).
std::string Printable(std::string_view text);

// `text` padded with blanks to `width` bytes (never cut).
std::string PadRight(const std::string& text, size_t width);

}  // namespace orvane::cli
