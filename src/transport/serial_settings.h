#pragma once
// The port text "PORT/baud=9600/parity=N/stop=1/data=8" and its termios
// settings. PORT may be a bare name ("ttyUSB0", opened below /dev) or a
// device path ("/dev/pts/7"), so the settings are the "/key=value" parts at
// the right-hand end.

#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Only what the text names; the rest of the port's settings stay as they are.
struct SerialSettings {
  std::optional<uint32_t> baud;      // bits per second, any rate above 0
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
// (a rate of 0, 1.5 stop bits, data bits outside 5 to 8). Whether the port
// can run at the rate is for the port to say (SetLineSpeed).
std::optional<SerialSpecification> ParseSerialSpecification(std::string_view text);

// Writes the named data bits, parity and stop bits into `tio`; the speed
// goes to the port separately (SetLineSpeed).
void ApplySerialSettings(termios& tio, const SerialSettings& settings);

}  // namespace orvane
