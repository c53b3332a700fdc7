#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "transport/serial_port.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

std::string ErrorText(const std::string& what, int code) {
  char number[16];
  std::snprintf(number, sizeof number, "%x", static_cast<unsigned>(code));
  return what + " (err=" + number + ")";
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line.substr(0, 255);
}

// "ttyS10" after "ttyS2": names compare by their text, then by their number.
bool NaturalLess(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& s) {
    size_t digits = s.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1]))) --digits;
    const std::string number = s.substr(digits);
    return std::pair{s.substr(0, digits), number.empty() || number.size() > 9 ? -1L : std::stol(number)};
  };
  return split(a) < split(b);
}

// The USB device above an interface carries the product name.
std::string UsbProduct(const fs::path& device) {
  fs::path dir = device;
  for (int level = 0; level < 8 && dir.has_relative_path(); ++level) {
    const std::string product = FirstLine(dir / "product");
    if (!product.empty()) return product;
    dir = dir.parent_path();
  }
  return {};
}

std::string DriverName(const fs::path& device) {
  std::error_code ec;
  const fs::path driver = fs::canonical(device / "driver", ec);
  return ec ? std::string() : driver.filename().string();
}

bool CanOpen(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

void EnumeratePorts(std::vector<PortInfo>& ports, bool probe) {
  EnumeratePortsIn(ports, probe, "/sys/class/tty", "/dev");
}

void EnumeratePortsIn(std::vector<PortInfo>& ports, bool probe, const std::string& sysClassTty,
                      const std::string& devFolder) {
  ports.clear();
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) throw SerialPortError(ErrorText("Could not read from " + sysClassTty + ".", ec.value()));
  std::sort(names.begin(), names.end(), NaturalLess);

  for (const std::string& name : names) {
    const fs::path entry = fs::path(sysClassTty) / name;
    std::error_code linkError;
    // Virtual terminals and pseudo-terminals have no device behind them.
    const fs::path device = fs::canonical(entry / "device", linkError);
    if (linkError) continue;
    // The 8250 driver lists every possible UART; type 0 means none is there.
    if (name.rfind("ttyS", 0) == 0 && FirstLine(entry / "type") == "0") continue;

    PortInfo port;
    port.devicePath = devFolder + "/" + name;
    port.portName = name;
    port.isUsb = device.string().find("/usb") != std::string::npos;
    port.description = port.isUsb ? UsbProduct(device) : std::string();
    if (port.description.empty()) port.description = DriverName(device);
    if (port.description.empty()) port.description = "Serial port";
    port.friendlyName = port.description + " (" + name + ")";
    ports.push_back(std::move(port));
  }

  if (probe) std::erase_if(ports, [](const PortInfo& port) { return !CanOpen(port.devicePath); });
}

}  // namespace orvane
