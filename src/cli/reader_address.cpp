#include "cli/reader_address.h"

namespace orvane::cli {
std::optional<int> ParsePortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

std::optional<ReaderAddress> ParseReaderAddress(const std::string& text, std::string& error) {
  const size_t colon = text.find(':');
  const std::string scheme = colon == std::string::npos ? text : text.substr(0, colon);
  const std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  ReaderAddress address;
  address.text = text;
  if (scheme == "tcp") {
    // The port is after the last colon, so that a bracketless IPv6 address still parses.
    const size_t last = rest.rfind(':');
    std::optional<int> port = last == std::string::npos ? std::nullopt : ParsePortNumber(rest.substr(last + 1));
    if (last == std::string::npos || last == 0 || !port) {
      error = "reader '" + text + "': tcp needs HOST:PORT with a port from 1 to 65535";
      return std::nullopt;
    }
    address.kind = ReaderAddress::Kind::Tcp;
    address.target = rest.substr(0, last);
    address.port = *port;
    return address;
  }
  if (scheme == "tls") {
    std::optional<int> port = ParsePortNumber(rest);
    if (!port) {
      error = "reader '" + text + "': tls needs a port from 1 to 65535";
      return std::nullopt;
    }
    address.kind = ReaderAddress::Kind::Tls;
    address.port = *port;
    return address;
  }
  if (scheme == "serial" || scheme == "hid") {
    if (rest.empty()) {
      error = "reader '" + text + "': " + scheme + (scheme == "serial" ? " needs a DEVICE" : " needs a LOCATION");
      return std::nullopt;
    }
    address.kind = scheme == "serial" ? ReaderAddress::Kind::Serial : ReaderAddress::Kind::Hid;
    address.target = rest;
    return address;
  }
  error = "reader '" + text + "' must be tcp:HOST:PORT, tls:PORT, serial:DEVICE or hid:LOCATION";
  return std::nullopt;
}

std::string ReaderLabel(const std::string& addressText) {
  std::string label = addressText;
  for (char& c : label) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    if (!keep) c = '_';
  }
  return label;
}

std::string ReaderLogFileName(const std::string& addressText) { return "ORV_Bootload_log-" + ReaderLabel(addressText) + ".txt"; }

}  // namespace orvane::cli
