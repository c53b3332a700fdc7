#include "hidraw_standin.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <set>

struct hid_device_ {
  std::string path;
  std::shared_ptr<orvane::FakeHidDevice> device;
  bool numbered = false;
  uint64_t generation = 0;  // a device that went away stays gone for this handle
  std::wstring lastError;
};

namespace orvane::test {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<HidrawNode> nodes;
  std::set<hid_device*> open;
  std::vector<std::unique_ptr<hid_device>> handles;  // kept after closing, so late use can be told
  std::set<hid_device_info*> enumerations;
  std::vector<std::string> misuses;
  std::vector<std::vector<uint8_t>> wireWrites;
  std::wstring globalError;
};

Registry& R() {
  static Registry registry;
  return registry;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The handle's device while the handle may be used; nullptr (and a misuse
// noted) for a handle that was never handed out or is closed already.
std::shared_ptr<FakeHidDevice> DeviceOf(hid_device* dev, const char* call) {
  Registry& r = R();
  std::lock_guard lock(r.mutex);
  if (!r.open.contains(dev)) {
    r.misuses.push_back(std::string(call) + " on a handle that is not open");
    return nullptr;
  }
  return dev->device;
}

bool Gone(hid_device* dev, const FakeHidDevice& device) {
  if (device.Present() && device.Generation() == dev->generation) return false;
  dev->lastError = L"No such device";
  return true;
}

void FreeList(hid_device_info* list) {
  while (list) {
    hid_device_info* next = list->next;
    std::free(list->path);
    std::free(list->serial_number);
    std::free(list->manufacturer_string);
    std::free(list->product_string);
    std::free(list);
    list = next;
  }
}

}  // namespace

void HidrawStandin::Reset() {
  Registry& r = R();
  std::lock_guard lock(r.mutex);
  r.nodes.clear();
  r.open.clear();
  r.handles.clear();
  for (hid_device_info* list : r.enumerations) FreeList(list);
  r.enumerations.clear();
  r.misuses.clear();
  r.wireWrites.clear();
  r.globalError.clear();
}

void HidrawStandin::Plug(HidrawNode node) {
  std::lock_guard lock(R().mutex);
  R().nodes.push_back(std::move(node));
}

int HidrawStandin::OpenHandles() {
  std::lock_guard lock(R().mutex);
  return static_cast<int>(R().open.size());
}

int HidrawStandin::LiveEnumerations() {
  std::lock_guard lock(R().mutex);
  return static_cast<int>(R().enumerations.size());
}

std::vector<std::string> HidrawStandin::Misuses() {
  std::lock_guard lock(R().mutex);
  return R().misuses;
}

std::vector<std::vector<uint8_t>> HidrawStandin::WireWrites() {
  std::lock_guard lock(R().mutex);
  return R().wireWrites;
}

}  // namespace orvane::test

using orvane::test::R;

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) { return 0; }

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  auto& r = R();
  std::lock_guard lock(r.mutex);
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const auto& node : r.nodes) {
    const auto& d = *node.device;
    if (!d.Present() || (vendor_id && d.vendorId() != vendor_id) || (product_id && d.productId() != product_id)) {
      continue;
    }
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(node.path.c_str());
    info->vendor_id = d.vendorId();
    info->product_id = d.productId();
    info->serial_number = wcsdup(node.serialNumber.c_str());
    info->manufacturer_string = wcsdup(L"Orvane");
    info->product_string = wcsdup(L"Card reader");
    info->usage_page = 0xFF00;
    info->usage = 1;
    info->interface_number = d.interfaceNumber();
    info->bus_type = HID_API_BUS_USB;
    *tail = info;
    tail = &info->next;
  }
  // hidapi gives NULL, not an empty list, when nothing matches.
  if (head) r.enumerations.insert(head);
  return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs) {
  if (!devs) return;
  auto& r = R();
  std::lock_guard lock(r.mutex);
  if (r.enumerations.erase(devs) == 0) {
    r.misuses.push_back("hid_free_enumeration of a list that is not live");
    return;
  }
  orvane::test::FreeList(devs);
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
  auto& r = R();
  std::lock_guard lock(r.mutex);
  const std::string wanted = path ? path : "";
  for (const auto& node : r.nodes) {
    if (node.path != wanted || !node.device->Present()) continue;
    if (!node.accessible) {
      r.globalError = orvane::test::Wide("Failed to open a device with path '" + wanted + "': Permission denied");
      return nullptr;
    }
    auto handle = std::make_unique<hid_device>();
    handle->path = wanted;
    handle->device = node.device;
    handle->numbered = node.numbered;
    handle->generation = node.device->Generation();
    hid_device* dev = handle.get();
    r.handles.push_back(std::move(handle));
    r.open.insert(dev);
    node.device->NoteOpened();
    r.globalError.clear();
    return dev;
  }
  r.globalError = orvane::test::Wide("Failed to open a device with path '" + wanted + "': No such file or directory");
  return nullptr;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short, unsigned short, const wchar_t*) {
  std::lock_guard lock(R().mutex);
  R().misuses.push_back("hid_open: readers are found by path");
  return nullptr;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
  if (!dev) return;
  auto& r = R();
  std::lock_guard lock(r.mutex);
  if (r.open.erase(dev) == 0) r.misuses.push_back("hid_close of a handle that is not open");
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  const auto device = orvane::test::DeviceOf(dev, "hid_write");
  if (!device || !data || length == 0) return -1;
  if (orvane::test::Gone(dev, *device)) return -1;
  // Report id 0 is not sent: the device has no numbered reports.
  const bool skipId = data[0] == 0;
  std::vector<uint8_t> wire(data + (skipId ? 1 : 0), data + length);
  {
    std::lock_guard lock(R().mutex);
    R().wireWrites.push_back(wire);
  }
  // The interrupt endpoint moves the bytes in packets of the device's report
  // size; what goes beyond arrives as a packet of its own.
  const size_t reportSize = device->lengths().output - (dev->numbered ? 0 : 1);
  for (size_t offset = 0; offset < wire.size(); offset += std::max<size_t>(reportSize, 1)) {
    std::vector<uint8_t> report;
    if (!dev->numbered) report.push_back(0);
    const size_t n = std::min(wire.size() - offset, std::max<size_t>(reportSize, 1));
    report.insert(report.end(), wire.begin() + static_cast<long>(offset), wire.begin() + static_cast<long>(offset + n));
    if (device->HostWrite(report) < 0) return -1;
  }
  return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  const auto device = orvane::test::DeviceOf(dev, "hid_read_timeout");
  if (!device || !data) return -1;
  if (orvane::test::Gone(dev, *device)) return -1;
  std::vector<uint8_t> report(device->lengths().input);
  const int n = device->HostRead(report, milliseconds);
  if (n < 0 || orvane::test::Gone(dev, *device)) {
    dev->lastError = L"hid_read_timeout: device disconnected";
    return -1;
  }
  if (n == 0) return 0;
  // An unnumbered report comes without the id byte.
  const size_t from = dev->numbered ? 0 : 1;
  const size_t available = static_cast<size_t>(n) > from ? static_cast<size_t>(n) - from : 0;
  const size_t copied = std::min(available, length);
  std::copy_n(report.begin() + static_cast<long>(from), copied, data);
  return static_cast<int>(copied);
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
  const auto device = orvane::test::DeviceOf(dev, "hid_send_feature_report");
  if (!device || !data || length == 0) return -1;
  if (orvane::test::Gone(dev, *device)) return -1;
  // A report id the device does not have is refused by the device (a stall).
  if ((data[0] != 0) != dev->numbered) {
    dev->lastError = L"Broken pipe";
    return -1;
  }
  if (device->HostSetFeature(std::span<const uint8_t>(data, length)) < 0) return -1;
  return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
  const auto device = orvane::test::DeviceOf(dev, "hid_get_feature_report");
  if (!device || !data || length == 0) return -1;
  if (orvane::test::Gone(dev, *device)) return -1;
  if ((data[0] != 0) != dev->numbered) {
    dev->lastError = L"Broken pipe";
    return -1;
  }
  std::vector<uint8_t> report(device->lengths().feature);
  if (report.empty()) return -1;
  report[0] = data[0];
  const int n = device->HostGetFeature(report);
  if (n < 0) return -1;
  // The id byte stays in front and is counted, numbered or not.
  const size_t copied = std::min(static_cast<size_t>(n), length);
  const uint8_t id = data[0];
  std::copy_n(report.begin(), copied, data);
  data[0] = id;
  return static_cast<int>(copied);
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev) {
  if (!dev) {
    std::lock_guard lock(R().mutex);
    return R().globalError.empty() ? L"Success" : R().globalError.c_str();
  }
  return dev->lastError.empty() ? L"Success" : dev->lastError.c_str();
}

}  // extern "C"
