#pragma once
// The program's settings, read once from BootloadConfiguration.xml.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

inline constexpr const char* kConfigurationFileName = "BootloadConfiguration.xml";
inline constexpr const char* kConfigurationFormatError =
    "Configuration File \"BootloadConfiguration.xml\" Format Error!\r\n"
    "Please colse the demo and re-configuration it.";

// One USB identity under which the reader may appear.
struct VidPidEntry {
  uint32_t vid = 0;
  uint32_t pid = 0;
  int32_t isOVG = 0;  // 1: address the reader with header frames
};

struct BootloadSettings {
  std::vector<VidPidEntry> vidPidList;
  std::vector<int32_t> baudRateList;
  std::string dataBits;  // at most one character each
  std::string stopBits;
  std::string parity;
  int32_t enableLog = 0;
  int32_t tlsServerPort = 0;
  int32_t tcpServerPort = 0;
  std::string tcpServerIp;
  int32_t enableInterruptPointReserve = 0;
  int32_t comPort = 1;  // parsed and kept only
};

// Loads `fileName` from the program folder. False when the file cannot be
// read, is malformed, or names neither a USB identity nor a baud rate; values
// read before a bad attribute stay in `settings`.
bool LoadBootloadSettings(BootloadSettings& settings, const std::string& fileName);
// Same, from a full path.
bool LoadBootloadSettingsFromPath(BootloadSettings& settings, const std::string& path);

}  // namespace orvane
