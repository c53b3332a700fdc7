#include "transport/hid_device.h"

#include <algorithm>
#include <vector>

#include "app/clock.h"
#include "transport/message_hook.h"

namespace orvane {

namespace {

// On these products the reader's interface is the second one; on all others
// the first one (the other interface is a keyboard or a vendor channel).
bool RejectsInterface(const HidDeviceInfo& info, uint32_t productId) {
  if (!info.multipleInterfaces) return false;
  const bool secondInterfaceProduct = productId == 0x3810 || productId == 0x3910 || productId == 0x4521;
  return info.interfaceNumber == (secondInterfaceProduct ? 0 : 1);
}

constexpr uint32_t kFeatureSetAttempts = 3;
constexpr uint32_t kFeatureReportGapMs = 1;
constexpr HidDevice::FeaturePauses kQueryPauses{.setRetryMs = 10, .settleMs = 100, .missPauseMs = 10, .maxMisses = 5};
constexpr HidDevice::FeaturePauses kCommandPauses{.setRetryMs = 10, .settleMs = 300, .missPauseMs = 100, .maxMisses = 5};
constexpr uint32_t kSequencedReadPauseMs = 20;

bool IsDevicePath(const std::string& locationOrPath) { return locationOrPath.starts_with('/'); }

}  // namespace

HidDevice::HidDevice(HidBackend& backend) : backend_(backend) {}

bool HidDevice::Open(uint32_t vendorId, uint32_t productId) {
  std::lock_guard lock(mutex_);
  return OpenLocked(vendorId, productId);
}

void HidDevice::RestrictToLocation(const std::string& locationOrPath) {
  std::lock_guard lock(mutex_);
  restriction_ = locationOrPath;
  location_ = IsDevicePath(locationOrPath) ? std::string() : locationOrPath;
  ResolveRestrictionLocked(backend_.Enumerate());
}

void HidDevice::ResolveRestrictionLocked(const std::vector<HidDeviceInfo>& devices) {
  if (!location_.empty() || !IsDevicePath(restriction_)) return;
  for (const HidDeviceInfo& info : devices) {
    if (info.path == restriction_) {
      // Fixed from now on: after a reboot the node may belong to a neighbour.
      location_ = info.location;
      return;
    }
  }
}

bool HidDevice::AllowedLocked(const HidDeviceInfo& info) const {
  if (restriction_.empty()) return true;
  if (!location_.empty()) return info.location == location_;
  return info.path == restriction_;
}

bool HidDevice::OpenLocked(uint32_t vendorId, uint32_t productId) {
  vendorId_ = vendorId;
  productId_ = productId;
  connection_.reset();
  devicePath_.clear();
  const std::vector<HidDeviceInfo> devices = backend_.Enumerate();
  ResolveRestrictionLocked(devices);
  for (const HidDeviceInfo& info : devices) {
    if (info.vendorId != vendorId || info.productId != productId) continue;
    if (!AllowedLocked(info)) continue;
    if (RejectsInterface(info, productId)) continue;
    std::string whyNot;
    auto connection = backend_.Open(info, &whyNot);
    if (!connection) {
      // Usually missing permissions on the hidraw node; said once per interface.
      // A diagnostic, not a box: a node can also vanish between the listing
      // and the open while the reader restarts.
      if (refusedPaths_.size() < 64 && refusedPaths_.insert(info.path).second) {
        ReportLinkProblem(
            {"Cannot open HID interface " + info.path, whyNot.empty() ? "access denied" : whyNot, false});
      }
      continue;
    }
    connection_ = std::move(connection);
    devicePath_ = info.path;
    gone_.store(false);
    return true;
  }
  return false;
}

void HidDevice::Close() {
  std::lock_guard lock(mutex_);
  connection_.reset();
  devicePath_.clear();
  gone_.store(false);
}

std::string HidDevice::devicePath() const {
  std::lock_guard lock(mutex_);
  return devicePath_;
}

HidReportLengths HidDevice::lengths() const {
  std::lock_guard lock(mutex_);
  return connection_ ? connection_->Lengths() : HidReportLengths{0, 0, 0};
}

int HidDevice::ReopenAndWriteCountedReports(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  if (!OpenLocked(vendorId_, productId_)) return 0;
  return WriteReportsLocked(bytes, count, true) ? static_cast<int>(count) : 0;
}

bool HidDevice::WriteCountedReports(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  return WriteReportsLocked(bytes, count, true);
}

bool HidDevice::WriteSequencedReports(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  return WriteReportsLocked(bytes, count, false);
}

bool HidDevice::WriteReportsLocked(const uint8_t* bytes, size_t count, bool counted) {
  if (!connection_ || count == 0) return false;
  const size_t length = connection_->Lengths().output;
  const size_t header = counted ? 2 : 1;
  if (length <= header) return false;
  // Sequenced reports have no count: the reader joins 63-byte pieces. An
  // interface with shorter output reports (the keyboard interface's lamp
  // report) is not the reader's data channel.
  if (!counted && length < 1 + kHidReportData) return false;
  const size_t chunk = std::min(kHidReportData, length - header);
  std::vector<uint8_t> report(length);
  const size_t reports = (count + chunk - 1) / chunk;
  for (size_t i = 0; i < reports; ++i) {
    const size_t offset = i * chunk;
    const size_t n = std::min(chunk, count - offset);
    const bool last = i + 1 == reports;
    std::fill(report.begin(), report.end(), uint8_t{0});
    if (counted) {
      report[0] = 0;
      report[1] = static_cast<uint8_t>(n | (last ? 0 : kHidMoreReports));
    } else {
      report[0] = reports == 1 ? kHidOnlyReport : i == 0 ? kHidFirstReport : last ? kHidLastReport : kHidMiddleReport;
    }
    std::copy_n(bytes + offset, n, report.begin() + static_cast<std::ptrdiff_t>(header));
    if (connection_->WriteOutputReport(report) < 0) {
      gone_.store(true);
      return false;
    }
  }
  return true;
}

size_t HidDevice::ReadOneReport(std::span<uint8_t> report, uint32_t waitMs) {
  std::fill(report.begin(), report.end(), uint8_t{0});
  if (!connection_) return 0;
  const int n = connection_->ReadInputReport(report, OsWaitMs(waitMs));
  if (n < 0) gone_.store(true);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t HidDevice::ReadCountedReports(std::span<uint8_t> buffer, uint32_t waitMs) {
  std::lock_guard lock(mutex_);
  if (!connection_) return 0;
  std::vector<uint8_t> report(std::max<size_t>(connection_->Lengths().input, 2));
  size_t collected = 0;
  while (collected < buffer.size()) {
    const size_t got = ReadOneReport(report, waitMs);
    if (got < 2 || report[1] == 0) break;
    const size_t count = report[1] & 0x7F;
    if (count > kHidReportData) break;  // not a counted report: the message ends here
    const size_t n = std::min({count, got - 2, buffer.size() - collected});
    std::copy_n(report.begin() + 2, n, buffer.begin() + static_cast<std::ptrdiff_t>(collected));
    collected += n;
    if ((report[1] & kHidMoreReports) == 0) break;
  }
  return collected;
}

size_t HidDevice::ReadSequencedReports(std::span<uint8_t> buffer, uint32_t waitMs) {
  std::lock_guard lock(mutex_);
  if (!connection_) return 0;
  std::vector<uint8_t> report(std::max<size_t>(connection_->Lengths().input, 1));
  const uint64_t start = TickMs();
  int failures = 0;
  size_t collected = 0;
  while (collected < buffer.size()) {
    size_t got = ReadOneReport(report, waitMs);
    if (got > 0) {
      const uint8_t id = report[0];
      const bool final = id == kHidOnlyReport || id == kHidLastReport;
      // The fill after the last data byte is zeros; genuine trailing zeros go with it.
      if (final) {
        while (got > 1 && report[got - 1] == 0) --got;
      }
      failures = 0;
      // At most 63 data bytes per report, as the writer cuts them: a longer
      // report carries fill after them, not data.
      const size_t n = std::min({got - 1, kHidReportData, buffer.size() - collected});
      std::copy_n(report.begin() + 1, n, buffer.begin() + static_cast<std::ptrdiff_t>(collected));
      collected += n;
      if (final) break;
    } else {
      ++failures;
      if (gone_.load() || (TickMs() - start > waitMs && failures >= 2)) break;
    }
    SleepMs(kSequencedReadPauseMs);
  }
  return collected;
}

bool HidDevice::FeatureQuery(const uint8_t* request, size_t requestLength, uint8_t* response,
                             size_t& responseLength) {
  const bool ok = FeatureTransfer(request, requestLength, response, responseLength, kQueryPauses);
  if (!ok) return false;
  if (requestLength >= 2 && request[1] == 'S') return responseLength >= 1 && response[0] == 0x06;
  return true;
}

bool HidDevice::FeatureCommand(const uint8_t* request, size_t requestLength, uint8_t* response,
                               size_t& responseLength) {
  const bool ok = FeatureTransfer(request, requestLength, response, responseLength, kCommandPauses);
  return ok && responseLength >= 4 && response[3] == 0x06;
}

bool HidDevice::FeatureTransfer(const uint8_t* request, size_t requestLength, uint8_t* response,
                                size_t& responseLength, const FeaturePauses& pauses) {
  std::lock_guard lock(mutex_);
  const size_t capacity = responseLength;
  responseLength = 0;
  if (!connection_) return false;
  const size_t length = connection_->Lengths().feature;
  if (length < 2) return false;
  const size_t chunk = length - 1;
  std::vector<uint8_t> report(length);

  for (size_t offset = 0; offset < requestLength; offset += chunk) {
    std::fill(report.begin(), report.end(), uint8_t{0});
    std::copy_n(request + offset, std::min(chunk, requestLength - offset), report.begin() + 1);
    bool sent = false;
    for (uint32_t attempt = 0; attempt < kFeatureSetAttempts && !sent; ++attempt) {
      sent = connection_->SendFeatureReport(report) >= 0;
      if (!sent) SleepMs(pauses.setRetryMs);
    }
    if (!sent) return false;
    SleepMs(kFeatureReportGapMs);
  }

  SleepMs(pauses.settleMs);
  size_t collected = 0;
  int misses = 0;
  for (;;) {
    std::fill(report.begin(), report.end(), uint8_t{0});
    const int got = connection_->GetFeatureReport(report);
    const bool empty = got <= 0 || std::all_of(report.begin(), report.end(), [](uint8_t b) { return b == 0; });
    if (!empty) {
      if (collected + chunk > capacity) {
        responseLength = collected;
        return false;
      }
      std::copy_n(report.begin() + 1, chunk, response + collected);
      collected += chunk;
      continue;
    }
    if (++misses >= pauses.maxMisses) break;
    SleepMs(pauses.missPauseMs);
  }
  responseLength = collected;
  return true;
}

std::optional<std::string> HidLocationOf(HidBackend& backend, const std::string& locationOrPath) {
  if (locationOrPath.empty()) return std::nullopt;
  for (const HidDeviceInfo& info : backend.Enumerate()) {
    if (IsDevicePath(locationOrPath)) {
      if (info.path == locationOrPath) return info.location.empty() ? info.path : info.location;
    } else if (info.location == locationOrPath) {
      return info.location;
    }
  }
  return std::nullopt;
}

}  // namespace orvane
