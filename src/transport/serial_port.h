#pragma once
// The reader on an RS232 or USB-serial port: the port listing and the one
// open port, configured from a text such as
// "/dev/ttyUSB0/baud=9600/parity=N/stop=1/data=8".

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/unique_fd.h"

namespace orvane {

struct PortInfo {
  std::string devicePath;    // "/dev/ttyUSB0"
  std::string portName;      // "ttyUSB0"
  std::string friendlyName;  // "description (ttyUSB0)"
  bool isUsb = false;
  std::string description;
};

// Raised by the port listing; what() is the message text.
class SerialPortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Lists the serial ports present (UARTs that exist, USB adapters, other ttys
// with a driver). With `probe`, ports that cannot be opened for reading and
// writing are left out. Throws SerialPortError when the listing cannot be
// read; `ports` then holds what was found before.
void EnumeratePorts(std::vector<PortInfo>& ports, bool probe);
// The same over another sysfs class folder and device folder (tests).
void EnumeratePortsIn(std::vector<PortInfo>& ports, bool probe, const std::string& sysClassTty,
                      const std::string& devFolder);

// Read time-outs of an open port.
inline constexpr uint32_t kSerialByteGapMs = 5;
inline constexpr uint32_t kSerialReadTotalMs = 2500;
inline constexpr size_t kSerialSpecMin = 10;
inline constexpr size_t kSerialSpecMax = 256;

class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // False when a port is open already, the text is shorter than 10 or longer
  // than 256 characters, the device cannot be opened, or a setting is not
  // supported; the port is then closed. Any rate the adapter can make opens;
  // one it cannot is said once on the standard error stream.
  bool OpenPort(std::string_view specification);
  void ClosePort();
  bool IsPortOpen() const { return open_.load(); }
  // The open line hung up or its device went away (an adapter unplugged, the
  // other end of a pseudo-terminal closed): nothing more will come on it.
  bool LineLost() const { return lost_.load(); }
  // Up to `count` bytes; returns after 2500 ms in total or 5 ms without a
  // further byte after the first. -1 on failure.
  int ReadPort(uint8_t* buffer, size_t count);
  // Discards pending input and output, then writes. Bytes written, 0 on failure.
  int WritePort(const uint8_t* bytes, size_t count);

  std::string modeText() const;  // "baud=9600 parity=N stop=1 data=8"
  std::string portPath() const;  // the device opened

 private:
  // Says once per port and rate that the adapter cannot make the rate.
  void ReportRefusedSpeed(const std::string& devicePath, uint32_t baud, uint32_t speedTaken);

  mutable std::mutex mutex_;  // guards the descriptor and the texts
  UniqueFd fd_;
  std::atomic<bool> open_{false};
  std::atomic<bool> lost_{false};
  std::string modeText_;
  std::string portPath_;
  std::set<std::string> refusedSpeeds_;  // "port rate" refusals already reported
};

}  // namespace orvane
