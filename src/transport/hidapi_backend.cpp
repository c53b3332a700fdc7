#include "transport/hidapi_backend.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "transport/hid_report_descriptor.h"
#include "transport/usb_location.h"

namespace orvane {

namespace {

struct HidDeviceCloser {
  void operator()(hid_device* device) const { hid_close(device); }
};
using HidHandle = std::unique_ptr<hid_device, HidDeviceCloser>;

struct EnumerationFreer {
  void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};
using EnumerationList = std::unique_ptr<hid_device_info, EnumerationFreer>;

std::string Narrow(const wchar_t* text) {
  if (!text) return {};
  std::string out;
  for (; *text; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return out;
}

// What the report descriptor says; hidraw exposes it in sysfs (hidapi before
// 0.14 has no call for it).
struct Layout {
  HidReportLengths lengths;          // 64 data bytes of each kind when unknown
  std::optional<bool> numbered;      // unknown when the descriptor cannot be read
};

Layout LayoutOf(const std::string& classFolder, const std::string& path) {
  const std::string prefix = "/dev/";
  if (path.rfind(prefix, 0) != 0) return {};
  std::ifstream file(classFolder + "/" + path.substr(prefix.size()) + "/device/report_descriptor",
                     std::ios::binary);
  if (!file) return {};
  std::vector<uint8_t> bytes;
  char c;
  while (bytes.size() < 4096 && file.get(c)) bytes.push_back(static_cast<uint8_t>(c));
  const auto summary = ParseReportDescriptor(bytes);
  if (!summary) return {};
  return {summary->lengths, summary->numberedReports};
}

class HidapiConnection final : public HidConnection {
 public:
  HidapiConnection(HidHandle handle, Layout layout) : handle_(std::move(handle)), layout_(layout) {}

  HidReportLengths Lengths() const override { return layout_.lengths; }
  bool ReadWrite() const override { return true; }
  int WriteOutputReport(std::span<const uint8_t> report) override {
    if (report.empty()) return -1;
    lastWriteNumbered_ = report[0] != 0;
    return hid_write(handle_.get(), report.data(), report.size());
  }
  int ReadInputReport(std::span<uint8_t> report, int realTimeoutMs) override {
    if (report.empty()) return -1;
    const int n = hid_read_timeout(handle_.get(), report.data(), report.size(), realTimeoutMs);
    if (n <= 0) return n;
    // hidraw delivers the id byte only for numbered reports; the callers
    // always see one in front, 0 for unnumbered reports. Without the
    // descriptor the length cannot tell (a numbered report of 63 data bytes
    // is as long as an unnumbered one of 64), but our own last output report
    // can: a device that takes numbered reports sends numbered ones.
    const bool numbered = layout_.numbered.value_or(
        lastWriteNumbered_.value_or(static_cast<size_t>(n) >= layout_.lengths.input));
    if (numbered) return n;
    const size_t kept = std::min(static_cast<size_t>(n), report.size() - 1);
    std::memmove(report.data() + 1, report.data(), kept);
    report[0] = 0;
    return static_cast<int>(kept + 1);
  }
  int SendFeatureReport(std::span<const uint8_t> report) override {
    return hid_send_feature_report(handle_.get(), report.data(), report.size());
  }
  int GetFeatureReport(std::span<uint8_t> report) override {
    return hid_get_feature_report(handle_.get(), report.data(), report.size());
  }

 private:
  HidHandle handle_;
  Layout layout_;
  std::optional<bool> lastWriteNumbered_;  // report id of the last output report was not 0
};

}  // namespace

HidapiBackend::HidapiBackend(std::string hidrawClassFolder) : hidrawClassFolder_(std::move(hidrawClassFolder)) {
  hid_init();
}

std::vector<HidDeviceInfo> HidapiBackend::Enumerate() {
  EnumerationList list(hid_enumerate(0, 0));
  std::vector<HidDeviceInfo> found;
  std::vector<std::wstring> serials;
  for (const hid_device_info* d = list.get(); d; d = d->next) {
    const std::string path = d->path ? d->path : "";
    found.push_back({path, d->vendor_id, d->product_id, d->interface_number, false,
                     UsbLocationOfHidraw(hidrawClassFolder_, path)});
    serials.emplace_back(d->serial_number ? d->serial_number : L"");
  }
  // Interfaces of one USB device share ids and serial number.
  for (size_t a = 0; a < found.size(); ++a) {
    for (size_t b = 0; b < found.size(); ++b) {
      if (a != b && found[a].vendorId == found[b].vendorId && found[a].productId == found[b].productId &&
          serials[a] == serials[b] && found[a].interfaceNumber != found[b].interfaceNumber) {
        found[a].multipleInterfaces = true;
      }
    }
  }
  return found;
}

std::unique_ptr<HidConnection> HidapiBackend::Open(const HidDeviceInfo& device, std::string* whyNot) {
  HidHandle handle(hid_open_path(device.path.c_str()));
  if (!handle) {
    if (whyNot) *whyNot = Narrow(hid_error(nullptr));
    return nullptr;
  }
  return std::make_unique<HidapiConnection>(std::move(handle), LayoutOf(hidrawClassFolder_, device.path));
}

}  // namespace orvane
