#pragma once
// An in-memory HID device and backend. Tests drive the "device side" to
// play a reader; the simulated reader builds its USB HID personality on it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transport/hid_backend.h"

namespace orvane {

// Thread-safe. Reports are kept at their full lengths (report id included).
class FakeHidDevice {
 public:
  using ReportHandler = std::function<void(std::span<const uint8_t> report)>;

  FakeHidDevice(uint16_t vendorId, uint16_t productId, int interfaceNumber = 0, bool multipleInterfaces = false,
                HidReportLengths lengths = {});

  uint16_t vendorId() const { return vendorId_; }
  uint16_t productId() const { return productId_; }
  int interfaceNumber() const { return interfaceNumber_; }
  bool multipleInterfaces() const { return multipleInterfaces_; }
  HidReportLengths lengths() const { return lengths_; }

  // ---- device side ----
  // Called for every output report the host writes, on the host's thread,
  // after the report has been recorded.
  void SetOutputReportHandler(ReportHandler handler);
  // Called for every feature report the host sets.
  void SetFeatureHandler(ReportHandler handler);
  // Queued for the host's reads, padded or cut to the input report length.
  void PushInputReport(std::span<const uint8_t> report);
  // Queued for the host's GetFeature; an empty queue reads as all zeros.
  void PushFeatureReport(std::span<const uint8_t> report);
  // Vanish (open connections fail, enumeration omits it) or reappear.
  void SetPresent(bool present);
  bool Present() const;
  // Where the backend lists it: node path and USB location. Unset, it is
  // listed as "fake-hid/N" without a location.
  void SetAddress(std::string path, std::string location);
  // The address it takes when it next reappears after vanishing, as a
  // reader that comes back from its reboot under a new node.
  void ComeBackAt(std::string path, std::string location);
  std::string Path() const;
  std::string Location() const;
  // False: Open gives a feature-only connection.
  void SetReadWriteAllowed(bool allowed);
  bool ReadWriteAllowed() const;
  // The next `count` feature sets fail (retry tests).
  void SetFailNextFeatureSets(int count);
  // Drops queued input and feature reports.
  void ClearQueues();

  // ---- host side (inspection for tests) ----
  std::vector<std::vector<uint8_t>> OutputReports() const;  // everything the host wrote, in order
  std::vector<std::vector<uint8_t>> FeatureReportsSet() const;  // every feature report set successfully
  void ClearRecords();
  size_t PendingInputReports() const;
  int OpenCount() const;  // connections opened so far

  // ---- used by the fake connection ----
  int HostWrite(std::span<const uint8_t> report);
  int HostRead(std::span<uint8_t> report, int realTimeoutMs);
  int HostSetFeature(std::span<const uint8_t> report);
  int HostGetFeature(std::span<uint8_t> report);
  void NoteOpened();
  uint64_t Generation() const;  // changes each time the device vanishes

 private:
  const uint16_t vendorId_;
  const uint16_t productId_;
  const int interfaceNumber_;
  const bool multipleInterfaces_;
  const HidReportLengths lengths_;

  mutable std::mutex mutex_;
  std::condition_variable inputArrived_;
  ReportHandler outputHandler_;
  ReportHandler featureHandler_;
  std::deque<std::vector<uint8_t>> input_;
  std::deque<std::vector<uint8_t>> features_;
  std::vector<std::vector<uint8_t>> outputs_;
  std::vector<std::vector<uint8_t>> featuresSet_;
  bool present_ = true;
  bool readWrite_ = true;
  int failFeatureSets_ = 0;
  int openCount_ = 0;
  uint64_t generation_ = 0;
  std::string path_;
  std::string location_;
  std::optional<std::pair<std::string, std::string>> comeBackAt_;  // path, location
};

class FakeHidBackend : public HidBackend {
 public:
  void AddDevice(std::shared_ptr<FakeHidDevice> device);
  void RemoveDevice(const FakeHidDevice& device);
  // The path under which the device is enumerated.
  std::string PathOf(const FakeHidDevice& device) const;

  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidConnection> Open(const HidDeviceInfo& device, std::string* whyNot) override;

 private:
  std::string PathAtLocked(size_t index) const;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<FakeHidDevice>> devices_;
};

}  // namespace orvane
