#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"
#include "cli/send_limits.h"
#include "cli/terminal_text.h"
#include "firmware/firmware_file.h"

namespace orvane::cli {
namespace {

// Why `path` cannot be inspected, or an empty text.
std::string Unreadable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return std::strerror(errno ? errno : EACCES);
  return {};
}

struct RawHeader {
  std::array<uint8_t, kModuleHeaderLength> bytes{};
  size_t length = 0;  // bytes actually read, at most 64
};

RawHeader ReadHeader(const std::string& path) {
  RawHeader header;
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(header.bytes.data()), static_cast<std::streamsize>(header.bytes.size()));
  header.length = static_cast<size_t>(in.gcount());
  return header;
}

const char* ModuleTypeName(uint8_t type) {
  switch (type) {
    case kModuleTypeApplication: return "application";
    case kModuleTypeBootloader: return "bootloader";
    default: return "unknown";
  }
}

const char* EncryptionName(uint8_t type) {
  switch (type) {
    case kEncryptionPlain: return "plaintext";
    case kEncryptionAes: return "AES";
    case kEncryptionTdes: return "TDES";
    default: return "unknown";
  }
}

const char* ResultName(ParseResult result) {
  switch (result) {
    case ParseResult::OpenFailed: return "OpenFailed";
    case ParseResult::Ok: return "Ok";
    case ParseResult::HeaderTooShort: return "HeaderTooShort";
    case ParseResult::TypeError: return "TypeError";
    case ParseResult::SizeError: return "SizeError";
  }
  return "";
}

uint16_t Le16(const RawHeader& h, size_t offset) {
  return static_cast<uint16_t>(h.bytes[offset] | h.bytes[offset + 1] << 8);
}

std::string Hex32(uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", value);
  return buf;
}

std::string ByteText(uint8_t value) {
  char buf[16];
  if (value >= 0x20 && value < 0x7F) std::snprintf(buf, sizeof buf, "0x%02X '%c'", value, value);
  else std::snprintf(buf, sizeof buf, "0x%02X", value);
  return buf;
}

void SectionsJson(JsonWriter& json, const char* key, const std::vector<FirmwareSection>& pieces) {
  json.Key(key).BeginArray();
  for (const auto& s : pieces) {
    json.BeginObject().Field("index", s.index).Field("address", s.address).Field("length", s.length()).EndObject();
  }
  json.EndArray();
}

void SectionsTable(std::FILE* out, const char* title, const std::vector<FirmwareSection>& pieces) {
  std::fprintf(out, "%s: %zu\n", title, pieces.size());
  if (pieces.empty()) return;
  std::fprintf(out, "  INDEX  ADDRESS     LENGTH\n");
  for (const auto& s : pieces) {
    std::fprintf(out, "  %-5u  %s  %u\n", s.index, Hex32(s.address).c_str(), s.length());
  }
}

void NotesJson(JsonWriter& json, const std::vector<std::string>& notes) {
  json.Key("notes").BeginArray();
  for (const auto& note : notes) json.String(note);
  json.EndArray();
}

void NotesText(std::FILE* out, const std::vector<std::string>& notes) {
  for (const auto& note : notes) std::fprintf(out, "%s\n", note.c_str());
}

int InspectRaw(CliContext& context, const std::string& path, uint64_t length) {
  std::vector<std::string> notes = RawNotes(length);
  const bool sendable = notes.empty();
  for (std::string& note : KernelNameNotes(std::filesystem::path(path).filename().string())) {
    notes.push_back(std::move(note));
  }
  // A file too long to send is not read: it could be as large as the disk.
  FirmwareFile file;
  if (sendable && !file.LoadRawChunks(path)) {
    PrintError(context, "cannot read '" + path + "' whole");
    return kExitUsage;
  }
  const uint64_t chunkCount = (length + kRawChunkLength - 1) / kRawChunkLength;
  if (context.options.json) {
    JsonWriter json;
    json.BeginObject().Field("file", path).Key("length").Int(static_cast<int64_t>(length));
    json.Field("fileLength", file.fileLength);
    json.Key("chunkCount").Int(static_cast<int64_t>(chunkCount));
    NotesJson(json, notes);
    SectionsJson(json, "chunks", file.chunks);
    json.EndObject();
    std::fprintf(context.out, "%s\n", json.Text().c_str());
  } else {
    std::fprintf(context.out, "File:   %s\nLength: %llu bytes\n", Printable(path).c_str(),
                 static_cast<unsigned long long>(length));
    NotesText(context.out, notes);
    if (sendable) {
      SectionsTable(context.out, "Chunks", file.chunks);
    } else {
      std::fprintf(context.out, "Chunks: %llu\n", static_cast<unsigned long long>(chunkCount));
    }
  }
  return kExitOk;
}

void HeaderJson(JsonWriter& json, const RawHeader& h, const FirmwareFile& file) {
  json.Key("header").BeginObject();
  json.Field("securityType", std::string(reinterpret_cast<const char*>(h.bytes.data()), 6));
  json.Field("typeValid", file.typeValid).Field("pci", file.pciFlag);
  json.Field("moduleType", static_cast<int>(h.bytes[6])).Field("moduleTypeName", ModuleTypeName(h.bytes[6]));
  json.Field("encryption", static_cast<int>(h.bytes[7])).Field("encryptionName", EncryptionName(h.bytes[7]));
  json.Field("preambleLength", static_cast<int>(Le16(h, 10)));
  json.Field("preambleHalf", file.preambleHalf1);
  json.Field("trailerLength", static_cast<int>(file.trailerLength));
  json.Field("blockSize", static_cast<int>(file.blockSize));
  json.Field("blockCount", static_cast<int>(file.blockCount));
  json.Field("baseAddress", file.baseAddressValue());
  json.Field("infoText", file.infoText);
  json.EndObject();
}

void HeaderTable(std::FILE* out, const RawHeader& h, const FirmwareFile& file) {
  std::string security(reinterpret_cast<const char*>(h.bytes.data()), 6);
  std::fprintf(out, "Security type:   \"%s\" (%s)\n", Printable(security).c_str(),
               !file.typeValid ? "not recognised" : file.pciFlag ? "PCI" : "non-PCI");
  std::fprintf(out, "Module type:     %s %s\n", ByteText(h.bytes[6]).c_str(), ModuleTypeName(h.bytes[6]));
  std::fprintf(out, "Encryption:      %s %s\n", ByteText(h.bytes[7]).c_str(), EncryptionName(h.bytes[7]));
  std::fprintf(out, "Preamble length: %u (two halves of %u)\n", Le16(h, 10), file.preambleHalf1);
  std::fprintf(out, "Trailer length:  %u\n", file.trailerLength);
  std::fprintf(out, "Block size:      %u\n", file.blockSize);
  std::fprintf(out, "Block count:     %u\n", file.blockCount);
  std::fprintf(out, "Base address:    %s\n", Hex32(file.baseAddressValue()).c_str());
  std::fprintf(out, "Info text:       \"%s\"\n", Printable(file.infoText).c_str());
}

}  // namespace

int RunInspect(CliContext& context) {
  const std::string& path = context.options.arguments.front();
  if (std::string why = Unreadable(path); !why.empty()) {
    PrintError(context, "cannot read '" + path + "': " + why);
    return kExitUsage;
  }
  struct stat st {};
  ::stat(path.c_str(), &st);
  const auto length = static_cast<uint64_t>(st.st_size);
  if (context.options.raw) return InspectRaw(context, path, length);

  FirmwareFile file;
  const ParseResult result = file.ParseModuleFile(path);
  if (result == ParseResult::OpenFailed) {
    PrintError(context, "cannot read '" + path + "'");
    return kExitUsage;
  }
  // Passing the header checks is not enough to be sent.
  const std::vector<std::string> notes = result == ParseResult::Ok ? ModuleNotes(file) : std::vector<std::string>{};
  const RawHeader header = ReadHeader(path);
  const bool haveHeader = header.length == kModuleHeaderLength;

  if (context.options.json) {
    JsonWriter json;
    json.BeginObject().Field("file", path).Key("length").Int(static_cast<int64_t>(length));
    json.Field("result", static_cast<int>(result)).Field("resultName", ResultName(result));
    json.Field("status", FileStatusText(result));
    if (haveHeader) HeaderJson(json, header, file);
    NotesJson(json, notes);
    SectionsJson(json, "sections", file.sections);
    json.EndObject();
    std::fprintf(context.out, "%s\n", json.Text().c_str());
  } else {
    std::fprintf(context.out, "File:            %s\nLength:          %llu bytes\n", Printable(path).c_str(),
                 static_cast<unsigned long long>(length));
    if (result == ParseResult::Ok) {
      std::fprintf(context.out, "Result:          0 (accepted)\n");
    } else {
      std::fprintf(context.out, "Result:          %d (%s)\n", static_cast<int>(result),
                   std::string(ParseResultText(result)).c_str());
    }
    if (haveHeader) HeaderTable(context.out, header, file);
    NotesText(context.out, notes);
    SectionsTable(context.out, "Sections", file.sections);
  }
  return result == ParseResult::Ok ? kExitOk : kExitFailed;
}

}  // namespace orvane::cli
