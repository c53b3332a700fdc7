#pragma once
// The HID library seen by HidDevice: enumeration of interfaces and report I/O
// on one open interface. The program uses hidapi; tests and the simulated
// reader use the in-memory fake.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orvane {

// Report lengths including the report-id byte.
struct HidReportLengths {
  size_t input = 65;
  size_t output = 65;
  size_t feature = 65;
};

struct HidDeviceInfo {
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  int interfaceNumber = -1;         // -1 when unknown
  bool multipleInterfaces = false;  // the device presents several interfaces
  std::string location = {};        // USB bus and port chain ("1-2.3"); empty when unknown
};

// One open interface; closing is destruction.
class HidConnection {
 public:
  virtual ~HidConnection() = default;
  virtual HidReportLengths Lengths() const = 0;
  // False: opened without read/write access; only feature reports work.
  virtual bool ReadWrite() const = 0;
  // report[0] is the report id. Bytes written, or -1.
  virtual int WriteOutputReport(std::span<const uint8_t> report) = 0;
  // Bytes read (report id included), 0 on time-out, -1 when the device is gone.
  virtual int ReadInputReport(std::span<uint8_t> report, int realTimeoutMs) = 0;
  // Bytes sent, or -1.
  virtual int SendFeatureReport(std::span<const uint8_t> report) = 0;
  // report[0] is the report id on entry. Bytes read, or -1.
  virtual int GetFeatureReport(std::span<uint8_t> report) = 0;
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;
  // nullptr with a reason in *whyNot (when given) if the interface cannot be opened.
  virtual std::unique_ptr<HidConnection> Open(const HidDeviceInfo& device, std::string* whyNot) = 0;
};

// The backend of the running program: hidapi when it was built in, otherwise
// an empty fake (no devices).
HidBackend& DefaultHidBackend();

}  // namespace orvane
