#pragma once
// The port text "PORT/baud=9600/parity=N/stop=1/data=8" and its termios
// settings. PORT may be a bare name ("ttyUSB0", opened below /dev) or a
// device path ("/dev/pts/7"), so the settings are the "/key=value" parts at
// the right-hand end.

#include <termios.h>

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Only what the text names; the rest of the port's settings stay as they are.
struct SerialSettings {
  std::optional<speed_t> baud;
  std::optional<tcflag_t> dataBits;  // CS5 to CS8
  std::optional<char> parity;        // 'N', 'E', 'O', 'M', 'S'
  std::optional<int> stopBits;       // 1 or 2
};

struct SerialSpecification {
  std::string devicePath;  // "/dev/ttyUSB0"
  std::string modeText;    // "baud=9600 parity=N stop=1 data=8"
  SerialSettings settings;
};

// Blanks and tabs are dropped and "\" counts as "/". nullopt when there is no
// port name, a setting is unknown or empty, or a value is not supported
// (non-standard baud rates, 1.5 stop bits, data bits outside 5 to 8).
std::optional<SerialSpecification> ParseSerialSpecification(std::string_view text);

// Writes the named settings into `tio`. False when the system refuses a speed.
bool ApplySerialSettings(termios& tio, const SerialSettings& settings);

}  // namespace orvane
