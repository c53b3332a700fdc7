#pragma once
// One reader of a many-reader run, as named on the command line:
// tcp:HOST:PORT, tls:PORT, serial:DEVICE or hid:LOCATION (a device path also
// works for hid).

#include <optional>
#include <string>

namespace orvane::cli {

struct ReaderAddress {
  enum class Kind { Tcp, Tls, Serial, Hid };
  Kind kind = Kind::Tcp;
  std::string text;    // as given, e.g. "tcp:127.0.0.1:4000"
  std::string target;  // host, serial device, or USB location / HID device path
  int port = 0;        // tcp and tls
};

// A port number from 1 to 65535 in decimal digits only.
std::optional<int> ParsePortNumber(const std::string& text);

// The address, or nothing with the reason in `error`.
std::optional<ReaderAddress> ParseReaderAddress(const std::string& text, std::string& error);

// The address as a file-name part: every character but letters, digits, '.'
// and '-' becomes '_' ("tcp:127.0.0.1:4000" gives "tcp_127.0.0.1_4000").
std::string ReaderLabel(const std::string& addressText);

// "ORV_Bootload_log-LABEL.txt".
std::string ReaderLogFileName(const std::string& addressText);

}  // namespace orvane::cli
