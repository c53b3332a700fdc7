#include "cli/terminal_text.h"

namespace orvane::cli {

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) c = '.';
  }
  return out;
}

std::string PadRight(const std::string& text, size_t width) {
  if (text.size() >= width) return text;
  return text + std::string(width - text.size(), ' ');
}

}  // namespace orvane::cli
