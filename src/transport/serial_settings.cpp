#include "transport/serial_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace orvane {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::optional<unsigned> Number(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool ApplySetting(SerialSettings& settings, std::string_view key, std::string_view value) {
  if (value.empty()) return false;
  const std::string name = Lower(key);
  if (name == "baud") {
    const auto rate = Number(value);
    if (!rate || *rate == 0) return false;  // 0 would hang the line up
    settings.baud = *rate;
    return true;
  }
  if (name == "parity") {
    if (value.size() != 1) return false;
    const char p = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
    if (std::string_view("NEOMS").find(p) == std::string_view::npos) return false;
    settings.parity = p;
    return true;
  }
  if (name == "data") {
    const auto bits = Number(value);
    if (!bits || *bits < 5 || *bits > 8) return false;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    settings.dataBits = sizes[*bits - 5];
    return true;
  }
  if (name == "stop") {
    const auto bits = Number(value);  // "1.5" fails here: termios has no such setting
    if (!bits || (*bits != 1 && *bits != 2)) return false;
    settings.stopBits = static_cast<int>(*bits);
    return true;
  }
  return false;
}

}  // namespace

std::optional<SerialSpecification> ParseSerialSpecification(std::string_view text) {
  std::string cleaned;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    cleaned.push_back(c == '\\' ? '/' : c);
  }
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t slash = cleaned.find('/', from);
    parts.push_back(cleaned.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
    if (slash == std::string::npos) break;
    from = slash + 1;
  }
  size_t firstSetting = parts.size();
  while (firstSetting > 0 && parts[firstSetting - 1].find('=') != std::string::npos) --firstSetting;

  SerialSpecification spec;
  std::string port;
  for (size_t i = 0; i < firstSetting; ++i) port += (i ? "/" : "") + parts[i];
  while (!port.empty() && port.back() == '/') port.pop_back();
  if (port.empty()) return std::nullopt;
  spec.devicePath = port.find('/') == std::string::npos ? "/dev/" + port : port;

  for (size_t i = firstSetting; i < parts.size(); ++i) {
    const size_t eq = parts[i].find('=');
    if (!ApplySetting(spec.settings, std::string_view(parts[i]).substr(0, eq),
                      std::string_view(parts[i]).substr(eq + 1))) {
      return std::nullopt;
    }
    spec.modeText += (i > firstSetting ? " " : "") + parts[i];
  }
  return spec;
}

void ApplySerialSettings(termios& tio, const SerialSettings& settings) {
  if (settings.dataBits) {
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | *settings.dataBits;
  }
  if (settings.parity) {
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (*settings.parity) {
      case 'E': tio.c_cflag |= PARENB; break;
      case 'O': tio.c_cflag |= PARENB | PARODD; break;
      case 'M': tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case 'S': tio.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
  }
  if (settings.stopBits) {
    if (*settings.stopBits == 2) {
      tio.c_cflag |= CSTOPB;
    } else {
      tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    }
  }
}

}  // namespace orvane
