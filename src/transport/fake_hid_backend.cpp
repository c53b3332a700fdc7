#include "transport/fake_hid_backend.h"

#include <algorithm>
#include <chrono>
#include <tuple>

namespace orvane {

namespace {

std::vector<uint8_t> Fitted(std::span<const uint8_t> report, size_t length) {
  std::vector<uint8_t> fitted(length, 0);
  std::copy_n(report.begin(), std::min(report.size(), length), fitted.begin());
  return fitted;
}

class FakeHidConnection final : public HidConnection {
 public:
  FakeHidConnection(std::shared_ptr<FakeHidDevice> device, bool readWrite, uint64_t generation)
      : device_(std::move(device)), readWrite_(readWrite), generation_(generation) {}

  HidReportLengths Lengths() const override { return device_->lengths(); }
  bool ReadWrite() const override { return readWrite_; }

  int WriteOutputReport(std::span<const uint8_t> report) override {
    if (!readWrite_ || !Alive()) return -1;
    return device_->HostWrite(report);
  }
  int ReadInputReport(std::span<uint8_t> report, int realTimeoutMs) override {
    if (!readWrite_ || !Alive()) return -1;
    return device_->HostRead(report, realTimeoutMs);
  }
  int SendFeatureReport(std::span<const uint8_t> report) override {
    if (!Alive()) return -1;
    return device_->HostSetFeature(report);
  }
  int GetFeatureReport(std::span<uint8_t> report) override {
    if (!Alive()) return -1;
    return device_->HostGetFeature(report);
  }

 private:
  // A device that vanished stays dead for connections opened before.
  bool Alive() const { return device_->Present() && device_->Generation() == generation_; }

  std::shared_ptr<FakeHidDevice> device_;
  bool readWrite_;
  uint64_t generation_;
};

}  // namespace

FakeHidDevice::FakeHidDevice(uint16_t vendorId, uint16_t productId, int interfaceNumber, bool multipleInterfaces,
                             HidReportLengths lengths)
    : vendorId_(vendorId),
      productId_(productId),
      interfaceNumber_(interfaceNumber),
      multipleInterfaces_(multipleInterfaces),
      lengths_(lengths) {}

void FakeHidDevice::SetOutputReportHandler(ReportHandler handler) {
  std::lock_guard lock(mutex_);
  outputHandler_ = std::move(handler);
}

void FakeHidDevice::SetFeatureHandler(ReportHandler handler) {
  std::lock_guard lock(mutex_);
  featureHandler_ = std::move(handler);
}

void FakeHidDevice::PushInputReport(std::span<const uint8_t> report) {
  {
    std::lock_guard lock(mutex_);
    input_.push_back(Fitted(report, lengths_.input));
  }
  inputArrived_.notify_all();
}

void FakeHidDevice::PushFeatureReport(std::span<const uint8_t> report) {
  std::lock_guard lock(mutex_);
  features_.push_back(Fitted(report, lengths_.feature));
}

void FakeHidDevice::SetPresent(bool present) {
  {
    std::lock_guard lock(mutex_);
    if (present_ && !present) {
      ++generation_;
      input_.clear();
      features_.clear();
    }
    if (!present_ && present && comeBackAt_) {
      std::tie(path_, location_) = std::move(*comeBackAt_);
      comeBackAt_.reset();
    }
    present_ = present;
  }
  inputArrived_.notify_all();
}

bool FakeHidDevice::Present() const {
  std::lock_guard lock(mutex_);
  return present_;
}

uint64_t FakeHidDevice::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

void FakeHidDevice::SetAddress(std::string path, std::string location) {
  std::lock_guard lock(mutex_);
  path_ = std::move(path);
  location_ = std::move(location);
}

void FakeHidDevice::ComeBackAt(std::string path, std::string location) {
  std::lock_guard lock(mutex_);
  comeBackAt_.emplace(std::move(path), std::move(location));
}

std::string FakeHidDevice::Path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::string FakeHidDevice::Location() const {
  std::lock_guard lock(mutex_);
  return location_;
}

void FakeHidDevice::SetReadWriteAllowed(bool allowed) {
  std::lock_guard lock(mutex_);
  readWrite_ = allowed;
}

bool FakeHidDevice::ReadWriteAllowed() const {
  std::lock_guard lock(mutex_);
  return readWrite_;
}

void FakeHidDevice::SetFailNextFeatureSets(int count) {
  std::lock_guard lock(mutex_);
  failFeatureSets_ = count;
}

void FakeHidDevice::ClearQueues() {
  std::lock_guard lock(mutex_);
  input_.clear();
  features_.clear();
}

std::vector<std::vector<uint8_t>> FakeHidDevice::OutputReports() const {
  std::lock_guard lock(mutex_);
  return outputs_;
}

std::vector<std::vector<uint8_t>> FakeHidDevice::FeatureReportsSet() const {
  std::lock_guard lock(mutex_);
  return featuresSet_;
}

void FakeHidDevice::ClearRecords() {
  std::lock_guard lock(mutex_);
  outputs_.clear();
  featuresSet_.clear();
}

size_t FakeHidDevice::PendingInputReports() const {
  std::lock_guard lock(mutex_);
  return input_.size();
}

int FakeHidDevice::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

void FakeHidDevice::NoteOpened() {
  std::lock_guard lock(mutex_);
  ++openCount_;
}

int FakeHidDevice::HostWrite(std::span<const uint8_t> report) {
  ReportHandler handler;
  {
    std::lock_guard lock(mutex_);
    if (!present_) return -1;
    outputs_.emplace_back(report.begin(), report.end());
    handler = outputHandler_;
  }
  // Outside the lock: the handler usually answers with PushInputReport.
  if (handler) handler(report);
  return static_cast<int>(report.size());
}

int FakeHidDevice::HostRead(std::span<uint8_t> report, int realTimeoutMs) {
  std::unique_lock lock(mutex_);
  const auto ready = [this] { return !present_ || !input_.empty(); };
  if (realTimeoutMs < 0) {
    inputArrived_.wait(lock, ready);
  } else {
    inputArrived_.wait_for(lock, std::chrono::milliseconds(realTimeoutMs), ready);
  }
  if (!present_) return -1;
  if (input_.empty()) return 0;
  std::vector<uint8_t> next = std::move(input_.front());
  input_.pop_front();
  const size_t n = std::min(next.size(), report.size());
  std::copy_n(next.begin(), n, report.begin());
  return static_cast<int>(n);
}

int FakeHidDevice::HostSetFeature(std::span<const uint8_t> report) {
  ReportHandler handler;
  {
    std::lock_guard lock(mutex_);
    if (!present_) return -1;
    if (failFeatureSets_ > 0) {
      --failFeatureSets_;
      return -1;
    }
    featuresSet_.emplace_back(report.begin(), report.end());
    handler = featureHandler_;
  }
  if (handler) handler(report);
  return static_cast<int>(report.size());
}

int FakeHidDevice::HostGetFeature(std::span<uint8_t> report) {
  std::lock_guard lock(mutex_);
  if (!present_) return -1;
  const size_t n = std::min(report.size(), lengths_.feature);
  if (features_.empty()) {
    std::fill_n(report.begin(), n, uint8_t{0});
    return static_cast<int>(n);
  }
  std::vector<uint8_t> next = std::move(features_.front());
  features_.pop_front();
  std::copy_n(next.begin(), n, report.begin());
  return static_cast<int>(n);
}

void FakeHidBackend::AddDevice(std::shared_ptr<FakeHidDevice> device) {
  std::lock_guard lock(mutex_);
  devices_.push_back(std::move(device));
}

void FakeHidBackend::RemoveDevice(const FakeHidDevice& device) {
  std::lock_guard lock(mutex_);
  std::erase_if(devices_, [&](const auto& d) { return d.get() == &device; });
}

std::string FakeHidBackend::PathAtLocked(size_t index) const {
  std::string path = devices_[index]->Path();
  return path.empty() ? "fake-hid/" + std::to_string(index) : path;
}

std::string FakeHidBackend::PathOf(const FakeHidDevice& device) const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].get() == &device) return PathAtLocked(i);
  }
  return {};
}

std::vector<HidDeviceInfo> FakeHidBackend::Enumerate() {
  std::lock_guard lock(mutex_);
  std::vector<HidDeviceInfo> found;
  for (size_t i = 0; i < devices_.size(); ++i) {
    const auto& d = devices_[i];
    if (!d->Present()) continue;
    found.push_back({PathAtLocked(i), d->vendorId(), d->productId(), d->interfaceNumber(), d->multipleInterfaces(),
                     d->Location()});
  }
  return found;
}

std::unique_ptr<HidConnection> FakeHidBackend::Open(const HidDeviceInfo& info, std::string* whyNot) {
  std::shared_ptr<FakeHidDevice> device;
  {
    std::lock_guard lock(mutex_);
    // A node path is reused by whichever device is listed under it now.
    for (size_t i = 0; i < devices_.size() && !device; ++i) {
      if (devices_[i]->Present() && PathAtLocked(i) == info.path) device = devices_[i];
    }
  }
  if (!device || !device->Present()) {
    if (whyNot) *whyNot = "no such device";
    return nullptr;
  }
  device->NoteOpened();
  return std::make_unique<FakeHidConnection>(device, device->ReadWriteAllowed(), device->Generation());
}

}  // namespace orvane
