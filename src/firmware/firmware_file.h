#pragma once
// FirmwareFile: one module file read into transferable pieces.
//
// Application and bootloader modules (.fm) carry a 64-byte header, a preamble
// in two halves, N blocks of B bytes and a trailer; ParseModuleFile checks the
// header and cuts the body into `sections`. Kernel and UniApp modules are sent
// whole; LoadRawChunks cuts them into 1024-byte `chunks`. Content is never
// decrypted or checked: it passes through as stored.
//
// One object is reused for file after file; every call starts from empty
// lists, so pieces of an earlier file can never be sent in place of a later one.
// Not thread-safe: use one object from one thread at a time.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/firmware_section.h"

namespace orvane {

inline constexpr size_t kModuleHeaderLength = 64;
inline constexpr size_t kRawChunkLength = 1024;
// The info text lives in a 50-byte field with its terminator.
inline constexpr size_t kInfoTextMaxLength = 49;
// Address marker of the preamble halves and of the trailer.
inline constexpr uint32_t kPreamblePart1Address = 0;
inline constexpr uint32_t kPreamblePart2Address = 1;
inline constexpr uint32_t kTrailerAddress = 0xFFFFFFFFu;
// Raw chunk addresses are offsets kept to 24 bits.
inline constexpr uint32_t kChunkAddressMask = 0x00FFFFFFu;

// Header bytes.
inline constexpr uint8_t kModuleTypeApplication = 0x41;  // 'A'
inline constexpr uint8_t kModuleTypeBootloader = 0x42;   // 'B'
inline constexpr uint8_t kEncryptionPlain = 0x50;        // 'P'
inline constexpr uint8_t kEncryptionAes = 0x41;          // 'A'
inline constexpr uint8_t kEncryptionTdes = 0x54;         // 'T'
inline constexpr std::string_view kSecurityTypePci = "pci   ";
inline constexpr std::string_view kSecurityTypeNonPci = "nonpci";

enum class ParseResult : int {
  OpenFailed = -1,      // not a readable regular file
  Ok = 0,               // header accepted, sections built
  HeaderTooShort = 1,   // fewer than 64 bytes
  TypeError = 2,        // security type is neither "pci   " nor "nonpci"
  SizeError = 3,        // N, B or T is 0, or the length does not add up
};

// "Error: no 64 bytes." and the other texts of a failed parse; empty for Ok.
std::string_view ParseResultText(ParseResult result);
// "File Status:\t " followed by ParseResultText; empty for Ok.
std::string FileStatusText(ParseResult result);

// How a module's pieces fit what one update can send, from its header.
struct ModuleFit {
  uint32_t pieces = 0;        // commands the module makes
  uint32_t longestPiece = 0;  // bytes

  bool pieceTooLong() const { return longestPiece > kMaxSendablePieceLength; }
  bool tooManyPieces() const { return pieces > kMaxSendablePieces; }
  bool sendable() const { return !pieceTooLong() && !tooManyPieces(); }
};

class FirmwareFile {
 public:
  // Reads an application or bootloader module into `sections`.
  // Sections, chunks and the info text are cleared on every call, whatever
  // the result; a result other than Ok leaves `sections` empty. The declared
  // lengths are checked against the file's size before the body is read, and
  // a module that passes but can never be sent (see Fit) is not read: its
  // sections keep their places and lengths but no bytes, so that the block
  // queue refuses it as it would the whole file, at the cost of its layout.
  ParseResult ParseModuleFile(const std::string& path);

  // The same checks and the info text, without sections: for listing.
  ParseResult JudgeModuleFile(const std::string& path);

  // Of the module whose header was read last.
  ModuleFit Fit() const;

  // Cuts a kernel or UniApp file into `chunks` and sets `fileLength`.
  // False (chunks empty, fileLength 0) when the file cannot be opened or
  // read whole, or is 4 GiB or larger. A file of more chunks than one queue
  // can send is not read: its chunks keep their layout but no bytes.
  bool LoadRawChunks(const std::string& path);

  // Empties both lists and frees their bytes.
  void ClearSections();

  // Base address as a number (stored most significant byte first).
  uint32_t baseAddressValue() const;

  // ---- the header of the module parsed last ----
  bool pciFlag = false;    // "pci   "; keeps its value when the type is neither
  bool typeValid = false;  // the security type is one of the two
  std::array<uint8_t, 4> baseAddress{};
  std::string infoText;  // first preamble value, at most 49 bytes, up to its first NUL
  uint32_t preambleHalf1 = 0;
  uint32_t preambleHalf2 = 0;
  uint16_t trailerLength = 0;
  uint16_t blockSize = 0;
  uint16_t blockCount = 0;

  // ---- the raw file loaded last ----
  uint32_t fileLength = 0;

  std::vector<FirmwareSection> sections;  // from ParseModuleFile
  std::vector<FirmwareSection> chunks;    // from LoadRawChunks

 private:
  ParseResult Parse(const std::string& path, bool wantSections);
};

}  // namespace orvane
