#pragma once
// Makes module files: valid .fm images and deliberately broken ones (for
// tests, the simulated reader and the demo), and raw kernel or UniApp files.
//
// A valid image from the defaults:
//   ModuleSpec spec;                 // "pci   ", application, plaintext
//   spec.infoText = "V1.02";
//   WriteModuleFile(path, spec);
// A broken one: set a field override, `lengthAdjust` or `truncateTo`.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"

namespace orvane {

struct ModuleSpec {
  std::string securityType{kSecurityTypePci};  // written as 6 bytes (cut or padded with blanks)
  uint8_t moduleType = kModuleTypeApplication;
  uint8_t encryption = kEncryptionPlain;
  uint32_t baseAddress = 0x00010000;  // stored most significant byte first

  // Preamble part 1: tag, length, first value (the info text), tag, length,
  // second value, then zeros up to H bytes. Values longer than 255 bytes are
  // cut to 255; values that do not fit into H are cut at H.
  uint8_t firstTag = 0x01;
  std::string infoText;
  uint8_t secondTag = 0x02;
  std::string secondValue;
  // Preamble length S; both halves get H = S / 2 bytes. Default: twice what
  // part 1 needs for its two tagged values.
  std::optional<uint16_t> preambleLength;
  // Preamble part 2, cut or padded with zeros to H bytes; empty: a pattern.
  std::vector<uint8_t> preamblePart2;

  uint16_t blockSize = 256;
  uint16_t blockCount = 4;
  // N * B bytes of block content; empty: a pattern (cut or padded otherwise).
  std::vector<uint8_t> blockData;
  std::vector<uint8_t> trailer{0x5A, 0xA5, 0x00, 0xFF};  // T = its size (at most 65535)

  // Header fields written in place of the true ones (broken files).
  std::optional<uint16_t> preambleLengthField;
  std::optional<uint16_t> trailerLengthField;
  std::optional<uint16_t> blockSizeField;
  std::optional<uint16_t> blockCountField;
  // Header bytes 8-9 and 22-63, which nothing reads; zeros by default.
  std::vector<uint8_t> reservedFill;

  // Bytes added at the end (zeros, when positive) or cut off (negative).
  int64_t lengthAdjust = 0;
  // Cut the finished image to this many bytes (e.g. 63 for a short header).
  std::optional<size_t> truncateTo;
};

// Where the pieces of an image built from `spec` lie (before any cut or addition).
struct ModuleLayout {
  uint32_t preambleHalf = 0;  // H
  uint64_t part1Offset = kModuleHeaderLength;
  uint64_t part2Offset = 0;
  uint64_t blocksOffset = 0;
  uint64_t trailerOffset = 0;
  uint64_t totalLength = 0;
};
ModuleLayout LayoutOf(const ModuleSpec& spec);

std::vector<uint8_t> BuildModuleImage(const ModuleSpec& spec);
// Writes the image; false when the file cannot be written whole.
bool WriteModuleFile(const std::string& path, const ModuleSpec& spec);

// `length` bytes of a kernel or UniApp file: a pattern that depends on `seed`
// and on each byte's offset, so that a misplaced or repeated chunk shows.
std::vector<uint8_t> BuildRawModule(size_t length, uint32_t seed = 0);
bool WriteRawModuleFile(const std::string& path, size_t length, uint32_t seed = 0);

// Writes `bytes` to `path`, replacing it; false on any failure.
bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace orvane
