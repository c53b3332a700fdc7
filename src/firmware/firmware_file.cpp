#include "firmware/firmware_file.h"

#include <algorithm>
#include <limits>
#include <span>

#include "firmware/file_reader.h"

namespace orvane {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The first tagged value of preamble part 1: tag, length, value. A length
// that runs past the part or past the 49-byte field is cut to what fits; the
// text ends at its first NUL, as the list shows it.
std::string FirstTaggedValue(std::span<const uint8_t> part1) {
  if (part1.size() < 2) return {};
  size_t length = std::min<size_t>({part1[1], kInfoTextMaxLength, part1.size() - 2});
  const char* begin = reinterpret_cast<const char*>(part1.data() + 2);
  const char* end = std::find(begin, begin + length, '\0');
  return std::string(begin, end);
}

}  // namespace

std::string_view ParseResultText(ParseResult result) {
  switch (result) {
    case ParseResult::HeaderTooShort:
      return "Error: no 64 bytes.";
    case ParseResult::TypeError:
      return "Error: the type error.";
    case ParseResult::SizeError:
      return "Error: block data not size error.";
    case ParseResult::OpenFailed:
      return "Error: the file cannot be opened.";
    case ParseResult::Ok:
      break;
  }
  return {};
}

std::string FileStatusText(ParseResult result) {
  std::string_view text = ParseResultText(result);
  if (text.empty()) return {};
  return "File Status:\t " + std::string(text);
}

void FirmwareFile::ClearSections() {
  // swap with empty lists so the memory goes back, not just the sizes
  std::vector<FirmwareSection>().swap(sections);
  std::vector<FirmwareSection>().swap(chunks);
}

uint32_t FirmwareFile::baseAddressValue() const {
  return (static_cast<uint32_t>(baseAddress[0]) << 24) | (static_cast<uint32_t>(baseAddress[1]) << 16) |
         (static_cast<uint32_t>(baseAddress[2]) << 8) | static_cast<uint32_t>(baseAddress[3]);
}

ModuleFit FirmwareFile::Fit() const {
  ModuleFit fit;
  fit.pieces = static_cast<uint32_t>(blockCount) + 1 + (preambleHalf1 > 0 ? 2 : 0);
  fit.longestPiece = std::max({preambleHalf1, static_cast<uint32_t>(blockSize), static_cast<uint32_t>(trailerLength)});
  return fit;
}

ParseResult FirmwareFile::ParseModuleFile(const std::string& path) { return Parse(path, true); }

ParseResult FirmwareFile::JudgeModuleFile(const std::string& path) { return Parse(path, false); }

ParseResult FirmwareFile::Parse(const std::string& path, bool wantSections) {
  // Whatever happens below, nothing of the previous file may stay listable or
  // transferable, and its info text must not be shown for this one.
  ClearSections();
  infoText.clear();

  // Peeking at the front of a file that is not read whole needs no large buffer.
  SequentialFileReader in;
  if (!in.Open(path, wantSections ? SequentialFileReader::kBufferSize : SequentialFileReader::kMinBufferSize)) {
    return ParseResult::OpenFailed;
  }

  uint8_t header[kModuleHeaderLength];
  if (in.Read(header, sizeof header) < sizeof header) return ParseResult::HeaderTooShort;

  std::string_view securityType(reinterpret_cast<const char*>(header), 6);
  if (EqualsIgnoringCase(securityType, kSecurityTypeNonPci)) {
    pciFlag = false;
    typeValid = true;
  } else if (EqualsIgnoringCase(securityType, kSecurityTypePci)) {
    pciFlag = true;
    typeValid = true;
  } else {
    typeValid = false;  // pciFlag keeps the previous file's value
  }
  std::copy(header + 18, header + 22, baseAddress.begin());
  const uint32_t half = Le16(header + 10) / 2u;  // an odd preamble length loses its last byte
  preambleHalf1 = preambleHalf2 = half;
  trailerLength = Le16(header + 12);
  blockSize = Le16(header + 14);
  blockCount = Le16(header + 16);

  if (!typeValid) return ParseResult::TypeError;
  if (blockCount == 0 || blockSize == 0 || trailerLength == 0) return ParseResult::SizeError;
  // 64-bit sum: N * B + T + 2H can pass 2^32, and the length must match
  // exactly, so nothing larger than the file itself is ever allocated.
  const uint64_t expected = kModuleHeaderLength + 2ull * half + static_cast<uint64_t>(blockCount) * blockSize +
                            trailerLength;
  if (in.size() != expected) return ParseResult::SizeError;

  const bool readBody = Fit().sendable();
  if (!wantSections || !readBody) {
    // Only the info text is read: the tag, the length byte and at most the
    // 49 bytes of the field.
    std::array<uint8_t, 2 + kInfoTextMaxLength> front{};
    const size_t wanted = std::min<size_t>(half, front.size());
    if (in.Read(front.data(), wanted) < wanted) return ParseResult::SizeError;
    infoText = FirstTaggedValue(std::span<const uint8_t>(front.data(), wanted));
    if (!wantSections) return ParseResult::Ok;
  }

  sections.reserve(static_cast<size_t>(blockCount) + (half > 0 ? 3 : 1));
  auto append = [&](uint32_t length, uint32_t index, uint32_t address) {
    FirmwareSection& section = sections.emplace_back();
    section.index = index;
    section.address = address;
    if (!readBody) {
      section.unread = length;
      return true;
    }
    section.data.resize(length);
    return in.ReadExact(section.data.data(), length);
  };

  // The body is read front to back: part 1, part 2, the blocks, the trailer.
  bool complete = true;
  if (half > 0) {
    complete = append(half, 0, kPreamblePart1Address);
    if (complete && readBody) infoText = FirstTaggedValue(sections.back().data);
    complete = complete && append(half, 1, kPreamblePart2Address);
  }
  const uint32_t base = baseAddressValue();
  for (uint32_t i = 0; complete && i < blockCount; ++i) {
    // 32-bit sum: carries run through all four bytes, one out of the top is dropped.
    complete = append(blockSize, i + 2, base + static_cast<uint32_t>(blockSize) * i);
  }
  complete = complete && append(trailerLength, static_cast<uint32_t>(blockCount) + 2, kTrailerAddress);

  if (!complete) {
    // The file shrank while it was read: send none of it.
    ClearSections();
    infoText.clear();
    return ParseResult::SizeError;
  }
  return ParseResult::Ok;
}

bool FirmwareFile::LoadRawChunks(const std::string& path) {
  ClearSections();
  fileLength = 0;

  SequentialFileReader in;
  if (!in.Open(path)) return false;
  // The reader is told the length in 32 bits.
  if (in.size() > std::numeric_limits<uint32_t>::max()) return false;
  const uint32_t length = static_cast<uint32_t>(in.size());

  const uint32_t count = length / kRawChunkLength + (length % kRawChunkLength != 0 ? 1 : 0);
  // A file of more chunks than one queue can send is never sent: only its
  // layout is kept, so that the queue refuses it without the file in memory.
  const bool sendable = count <= kMaxSendablePieces;
  chunks.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t offset = static_cast<uint64_t>(i) * kRawChunkLength;
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(kRawChunkLength, length - offset));
    FirmwareSection& chunk = chunks.emplace_back();
    chunk.index = i;
    chunk.address = static_cast<uint32_t>(offset) & kChunkAddressMask;
    if (!sendable) {
      chunk.unread = static_cast<uint32_t>(piece);
      continue;
    }
    chunk.data.resize(piece);
    if (!in.ReadExact(chunk.data.data(), piece)) {
      // Shorter than it was a moment ago: a partial module must not go out.
      ClearSections();
      return false;
    }
  }
  fileLength = length;
  return true;
}

}  // namespace orvane
