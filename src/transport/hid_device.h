#pragma once
// The reader as a USB HID device: finds its interface by vendor and product
// id and moves frames in counted reports (STX framing), sequenced reports
// (header framing) or feature reports (keyboard-interface readers).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "transport/hid_backend.h"

namespace orvane {

// Counted report: byte 1 holds the count, bit 7 = more reports follow.
inline constexpr uint8_t kHidMoreReports = 0x80;
inline constexpr size_t kHidReportData = 63;
// Sequenced report ids.
inline constexpr uint8_t kHidOnlyReport = 1;
inline constexpr uint8_t kHidFirstReport = 2;
inline constexpr uint8_t kHidMiddleReport = 3;
inline constexpr uint8_t kHidLastReport = 4;

class HidDevice {
 public:
  explicit HidDevice(HidBackend& backend);
  HidDevice(const HidDevice&) = delete;
  HidDevice& operator=(const HidDevice&) = delete;

  // Stores the ids, drops the open interface and opens the reader's one.
  // True when an interface was opened.
  bool Open(uint32_t vendorId, uint32_t productId);
  // From now on Open takes only interfaces at this USB location ("1-2.3"):
  // a reader that reboots comes back under another node, maybe with another
  // product id, at the same location, and a neighbour with the same ids sits
  // at another one. A device path ("/dev/hidraw3") stands for the location
  // of that interface, looked up as soon as it is listed; while it has no
  // known location the path itself is matched. Empty: any location.
  void RestrictToLocation(const std::string& locationOrPath);
  void Close();
  // A read or write on the open interface found the device gone (unplugged,
  // or restarting): nothing more will come on it until it is opened again.
  bool DeviceGone() const { return gone_.load(); }

  // Re-opens with the stored ids, then writes counted reports: count on
  // success, 0 on failure (also when the reader cannot be found).
  int ReopenAndWriteCountedReports(const uint8_t* bytes, size_t count);
  bool WriteCountedReports(const uint8_t* bytes, size_t count);
  // Data bytes collected into `buffer` (never more than its size).
  size_t ReadCountedReports(std::span<uint8_t> buffer, uint32_t waitMs);
  bool WriteSequencedReports(const uint8_t* bytes, size_t count);
  size_t ReadSequencedReports(std::span<uint8_t> buffer, uint32_t waitMs);

  // Pauses of a feature-report exchange: after a failed set (3 attempts per
  // report), before collecting the answer, and between empty reads.
  struct FeaturePauses {
    uint32_t setRetryMs = 10;
    uint32_t settleMs = 100;
    uint32_t missPauseMs = 10;
    int maxMisses = 5;
  };
  // Sends the request in feature reports and collects the answer until
  // maxMisses empty or failed reads. responseLength: the response buffer's
  // capacity on entry, bytes collected on return. False when no interface is
  // open, a report cannot be set, or the answer would overflow the buffer.
  bool FeatureTransfer(const uint8_t* request, size_t requestLength, uint8_t* response, size_t& responseLength,
                       const FeaturePauses& pauses);
  // FeatureTransfer with 100 ms before collecting and 10 ms between empty
  // reads; a status request ('S' second) also needs ACK as the first answer byte.
  bool FeatureQuery(const uint8_t* request, size_t requestLength, uint8_t* response, size_t& responseLength);
  // FeatureTransfer with 300 ms and 100 ms; needs ACK in the fourth answer byte.
  bool FeatureCommand(const uint8_t* request, size_t requestLength, uint8_t* response, size_t& responseLength);

  std::string devicePath() const;
  HidReportLengths lengths() const;  // of the open interface; zeros when none

 private:
  bool OpenLocked(uint32_t vendorId, uint32_t productId);
  // Learns the location behind a restriction given as a path, once listed.
  void ResolveRestrictionLocked(const std::vector<HidDeviceInfo>& devices);
  bool AllowedLocked(const HidDeviceInfo& info) const;
  bool WriteReportsLocked(const uint8_t* bytes, size_t count, bool counted);
  // Bytes of one input report (report id included), 0 when none came.
  size_t ReadOneReport(std::span<uint8_t> report, uint32_t waitMs);

  HidBackend& backend_;
  mutable std::mutex mutex_;  // one transfer at a time; guards everything below
  uint32_t vendorId_ = 0;
  uint32_t productId_ = 0;
  std::string devicePath_;
  std::unique_ptr<HidConnection> connection_;
  std::atomic<bool> gone_{false};
  std::set<std::string> refusedPaths_;  // interfaces whose refusal was already reported
  std::string restriction_;  // as given to RestrictToLocation
  std::string location_;     // the location it stands for; empty while a path's is unknown
};

// The location that `locationOrPath` stands for among the listed interfaces
// (a path's own location, or the path itself when its location is unknown),
// or nothing when no listed interface is there: the reader is not plugged in.
std::optional<std::string> HidLocationOf(HidBackend& backend, const std::string& locationOrPath);

}  // namespace orvane
