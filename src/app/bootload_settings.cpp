#include "app/bootload_settings.h"

#include <tinyxml2.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "app/program_folder.h"
#include "protocol/hex_text.h"

namespace orvane {
namespace {

// Leading blanks, an optional sign, then digits; stops at the first other
// character. Saturates instead of overflowing.
int32_t DecimalValue(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' || *text == '\v') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

// Splits at every comma, keeping empty pieces and the piece after the last comma.
std::vector<std::string_view> SplitAtCommas(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

// The first two bytes, first byte high; a byte the text does not give counts as 0.
uint32_t HexId(std::string_view text) {
  auto bytes = ParseHexText(text);
  uint32_t high = bytes.size() > 0 ? bytes[0] : 0;
  uint32_t low = bytes.size() > 1 ? bytes[1] : 0;
  return high << 8 | low;
}

bool CopyOneCharacter(std::string& field, const char* value) {
  if (std::strlen(value) > 1) return false;
  field = value;
  return true;
}

bool ReadElement(BootloadSettings& settings, const tinyxml2::XMLElement& element) {
  for (const tinyxml2::XMLAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
    std::string_view name = a->Name();
    const char* value = a->Value();
    if (name == "vid_pid") {
      auto parts = SplitAtCommas(value);
      if (parts.size() != 2) return false;
      VidPidEntry entry{HexId(parts[0]), HexId(parts[1]), 0};
      if (const tinyxml2::XMLAttribute* next = a->Next(); next && std::string_view(next->Name()) == "isOVG") {
        entry.isOVG = DecimalValue(next->Value());
        a = next;
      }
      settings.vidPidList.push_back(entry);
    } else if (name == "com_port") {
      settings.comPort = DecimalValue(value);
    } else if (name == "baudrateList") {
      for (auto piece : SplitAtCommas(value)) settings.baudRateList.push_back(DecimalValue(std::string(piece).c_str()));
    } else if (name == "parity") {
      if (!CopyOneCharacter(settings.parity, value)) return false;
    } else if (name == "databit") {
      if (!CopyOneCharacter(settings.dataBits, value)) return false;
    } else if (name == "stopbit") {
      if (!CopyOneCharacter(settings.stopBits, value)) return false;
    } else if (name == "enableLog") {
      if (std::strlen(value) > 1) return false;
      settings.enableLog = std::string_view(value) == "0" ? 0 : 1;
    } else if (name == "TLS_Server_Port") {
      settings.tlsServerPort = DecimalValue(value);
    } else if (name == "TCP_Server_IP") {
      settings.tcpServerIp = value;
    } else if (name == "TCP_Server_Port") {
      settings.tcpServerPort = DecimalValue(value);
    } else if (name == "EnableInterruptPointReserve") {
      if (std::strlen(value) > 1) return false;
      settings.enableInterruptPointReserve = std::string_view(value) == "0" ? 0 : 1;
    }
  }
  return true;
}

}  // namespace

bool LoadBootloadSettingsFromPath(BootloadSettings& settings, const std::string& path) {
  settings.vidPidList.clear();
  settings.baudRateList.clear();

  tinyxml2::XMLDocument document;
  if (document.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
    std::fprintf(stderr, "%s is missing\n", path.c_str());
    return false;
  }
  // Only a top-level node counts; nested elements of that name do not.
  for (const tinyxml2::XMLNode* node = document.FirstChild(); node; node = node->NextSibling()) {
    const tinyxml2::XMLElement* root = node->ToElement();
    if (!root || std::string_view(root->Name()) != "BOOTLOAD_SETTING") continue;
    for (const tinyxml2::XMLElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement()) {
      if (!ReadElement(settings, *child)) return false;
    }
    break;
  }
  return !settings.baudRateList.empty() || !settings.vidPidList.empty();
}

bool LoadBootloadSettings(BootloadSettings& settings, const std::string& fileName) {
  return LoadBootloadSettingsFromPath(settings, PathInFolder(ProgramFolder(), fileName));
}

}  // namespace orvane
