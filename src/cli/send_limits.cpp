#include "cli/send_limits.h"

#include <cstdio>

#include "firmware/module_discovery.h"

namespace orvane::cli {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[200];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string TooManyCommands(uint64_t pieces) {
  return Format("Can never be sent: it makes %llu commands, more than the %zu an update can send.",
                static_cast<unsigned long long>(pieces), kMaxSendablePieces);
}

}  // namespace

std::vector<std::string> ModuleNotes(const FirmwareFile& file) {
  std::vector<std::string> notes;
  const auto overLimit = [&](uint32_t length, const char* format) {
    if (length > kMaxSendablePieceLength) notes.push_back(Format(format, length, kMaxSendablePieceLength));
  };
  overLimit(file.preambleHalf1, "Can never be sent: its preamble halves of %u bytes are over the %zu-byte limit.");
  overLimit(file.blockSize, "Can never be sent: its blocks of %u bytes are over the %zu-byte limit.");
  overLimit(file.trailerLength, "Can never be sent: its trailer of %u bytes is over the %zu-byte limit.");
  if (file.Fit().tooManyPieces()) notes.push_back(TooManyCommands(file.Fit().pieces));
  return notes;
}

std::vector<std::string> RawNotes(uint64_t length) {
  const uint64_t chunks = (length + kRawChunkLength - 1) / kRawChunkLength;
  if (chunks <= kMaxSendablePieces) return {};
  return {TooManyCommands(chunks)};
}

std::vector<std::string> KernelNameNotes(std::string_view name) {
  if (NamesModuleKind(name)) return {};
  return {
      "As a kernel, its name matches no module number: it loads as module 0, the CT L2 kernel's, "
      "over any other such file."};
}

}  // namespace orvane::cli
