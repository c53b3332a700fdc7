// The hidapi backend over a stand-in for libhidapi-hidraw: the hid_* functions
// the backend calls, defined below so that they take the library's place,
// serving in-memory hidraw nodes. They behave as hidapi over hidraw does: the
// report id goes first on writes and feature reports (an id of 0 is not sent),
// reads of unnumbered reports come without an id byte and numbered ones with
// it, a read gives 0 on a time-out and -1 once the device is gone. The device
// side of a node is a FakeHidDevice, whose reports always hold the id byte.

#include "transport/hidapi_backend.h"

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <filesystem>
#include <numeric>

#include "app/clock.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"
#include "transport/hid_device.h"
#include "transport/message_hook.h"

using Bytes = std::vector<uint8_t>;

struct hid_device_ {
  std::shared_ptr<orvane::FakeHidDevice> device;
  bool numbered = false;
};

namespace {

struct HidrawNode {
  std::string path;  // "/dev/hidraw3"
  std::shared_ptr<orvane::FakeHidDevice> device;
  bool numbered = false;  // reports carry their id on the wire
  std::wstring serialNumber = L"A1";
  bool accessible = true;  // false: opening fails as without permission
};

struct Listed {
  hid_device_info info{};
  std::string path;
  std::wstring serial;
};

// Process-wide, as the library is; the tests run on one thread.
struct Standin {
  std::vector<HidrawNode> nodes;
  std::vector<std::unique_ptr<Listed>> listed;  // kept until the next test
  int liveLists = 0;
  int openHandles = 0;
  std::vector<Bytes> wire;  // every write as it went out, without an id byte 0
  std::wstring error;
} standin;

// A report id the device does not have is refused by the device (a stall).
bool WrongId(const hid_device* dev, const unsigned char* data) { return (data[0] != 0) != dev->numbered; }

}  // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) { return 0; }

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short, unsigned short) {
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const HidrawNode& node : standin.nodes) {
    if (!node.device->Present()) continue;
    Listed& entry = *standin.listed.emplace_back(std::make_unique<Listed>(Listed{{}, node.path, node.serialNumber}));
    entry.info.path = entry.path.data();
    entry.info.serial_number = entry.serial.data();
    entry.info.vendor_id = node.device->vendorId();
    entry.info.product_id = node.device->productId();
    entry.info.interface_number = node.device->interfaceNumber();
    *tail = &entry.info;
    tail = &entry.info.next;
  }
  if (head) ++standin.liveLists;  // hidapi gives NULL, not an empty list, when nothing matches
  return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs) {
  if (devs) --standin.liveLists;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
  for (const HidrawNode& node : standin.nodes) {
    if (node.path != path || !node.device->Present()) continue;
    if (!node.accessible) {
      standin.error = L"Failed to open a device with path '" + std::wstring(node.path.begin(), node.path.end()) +
                      L"': Permission denied";
      return nullptr;
    }
    node.device->NoteOpened();
    ++standin.openHandles;
    return new hid_device{node.device, node.numbered};
  }
  standin.error = L"No such file or directory";
  return nullptr;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
  if (dev) --standin.openHandles;
  delete dev;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device*, const unsigned char* data, size_t length) {
  standin.wire.emplace_back(data + (data[0] == 0 ? 1 : 0), data + length);
  return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int ms) {
  Bytes report(dev->device->lengths().input);
  const int n = dev->device->HostRead(report, ms);
  if (n <= 0) return n;
  const size_t from = dev->numbered ? 0 : 1;  // an unnumbered report comes without the id byte
  const size_t copied = std::min(static_cast<size_t>(n) - from, length);
  std::copy_n(report.begin() + static_cast<long>(from), copied, data);
  return static_cast<int>(copied);
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
  return WrongId(dev, data) ? -1 : dev->device->HostSetFeature(std::span<const uint8_t>(data, length));
}

// The id byte stays in front and is counted, numbered or not.
int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
  return WrongId(dev, data) ? -1 : dev->device->HostGetFeature(std::span<uint8_t>(data, length));
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device*) { return standin.error.c_str(); }

}  // extern "C"

namespace orvane::test {
namespace {

// Counted layout: unnumbered reports of 64 bytes each way, 64-byte feature reports.
constexpr HidReportLengths kUnnumberedLengths{65, 65, 65};
// Sequenced layout: report ids 1 to 4 each way, 63 bytes after the id.
constexpr HidReportLengths kNumberedLengths{64, 64, 0};

// The reader's vendor interface as its report descriptor shows it.
Bytes VendorDescriptor(bool numbered) {
  Bytes d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08};                       // vendor page, collection, bytes
  if (!numbered) d.insert(d.end(), {0x95, 0x40, 0x81, 0x02, 0x91, 0x02, 0xB1, 0x02});  // 64 in, out, feature
  for (uint8_t id = 1; numbered && id <= 4; ++id) d.insert(d.end(), {0x85, id, 0x95, 0x3F, 0x81, 0x02, 0x91, 0x02});
  d.push_back(0xC0);
  return d;
}

// A keyboard interface: 8-byte key reports, 5 lamps and padding out, 64 feature bytes.
const Bytes kKeyboardDescriptor{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02,
                                0x75, 0x01, 0x95, 0x05, 0x91, 0x02, 0x75, 0x03, 0x95, 0x01, 0x91, 0x01,
                                0x06, 0x00, 0xFF, 0x75, 0x08, 0x95, 0x40, 0xB1, 0x02, 0xC0};

Bytes Counting(size_t n) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), uint8_t{1});
  return bytes;
}

class HidapiBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { standin = {}; }
  void TearDown() override {
    hid.Close();
    EXPECT_EQ(standin.openHandles, 0);
    EXPECT_EQ(standin.liveLists, 0);
  }

  // A node "/dev/hidrawN" whose descriptor sysfs shows, unless `descriptor` is empty.
  std::shared_ptr<FakeHidDevice> Plug(int number, const Bytes& descriptor, HidReportLengths lengths, bool numbered,
                                      int interfaceNumber = 0, std::wstring serial = L"A1") {
    auto device = std::make_shared<FakeHidDevice>(0x2FE3, 0x0100, interfaceNumber, false, lengths);
    const std::string name = "hidraw" + std::to_string(number);
    if (!descriptor.empty()) {
      std::filesystem::create_directories(sysfs.File(name + "/device"));
      sysfs.Write(name + "/device/report_descriptor", {descriptor.begin(), descriptor.end()});
    }
    standin.nodes.push_back({"/dev/" + name, device, numbered, std::move(serial)});
    return device;
  }
  // hidrawN/device leads into the USB device tree at `deviceTree`.
  void LinkIntoUsbTree(int number, const std::string& deviceTree) {
    const std::string node = sysfs.File("hidraw" + std::to_string(number));
    std::filesystem::create_directories(sysfs.File(deviceTree));
    std::filesystem::create_directories(node);
    std::filesystem::create_directory_symlink(sysfs.File(deviceTree), node + "/device");
  }

  ManualClock clock;
  ScopedClock scoped{clock};
  TempDir sysfs;
  HidapiBackend backend{sysfs.path()};
  HidDevice hid{backend};
};

TEST_F(HidapiBackendTest, EnumerationTellsInterfacesApartAndFreesItsList) {
  // Two interfaces of one reader on a hub port; the second reader's node has no USB device above it.
  const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/";
  LinkIntoUsbTree(0, usb + "1-2.3:1.0/0003:2FE3:0100.0001");
  LinkIntoUsbTree(1, usb + "1-2.3:1.1/0003:2FE3:0100.0002");
  Plug(0, {}, kUnnumberedLengths, false, 0);
  Plug(1, {}, kUnnumberedLengths, false, 1);
  Plug(2, {}, kUnnumberedLengths, false, 0, L"B2");  // a second reader
  // Paths that name no hidraw node have no location, even where one leads to a linked node.
  for (const char* path : {"hidraw0", "/dev/", "/dev/x/../hidraw0", "/dev/..", "/dev/."}) {
    standin.nodes.push_back({path, std::make_shared<FakeHidDevice>(0x2FE3, 0x0200)});
  }
  const auto found = backend.Enumerate();
  ASSERT_EQ(found.size(), 8u);
  EXPECT_EQ(std::tuple(found[1].path, found[1].vendorId, found[1].productId, found[1].interfaceNumber),
            std::tuple(std::string("/dev/hidraw1"), uint16_t{0x2FE3}, uint16_t{0x0100}, 1));
  EXPECT_EQ((std::vector<bool>{found[0].multipleInterfaces, found[1].multipleInterfaces, found[2].multipleInterfaces}),
            (std::vector<bool>{true, true, false}));
  std::vector<std::string> locations;
  for (const auto& info : found) locations.push_back(info.location);
  EXPECT_EQ(locations, (std::vector<std::string>{"1-2.3", "1-2.3", "", "", "", "", "", ""}));
  EXPECT_EQ(backend.Open(found[3], nullptr)->Lengths().input, 65u) << "no sysfs entry outside /dev/";
}

// An interface the user may not open (no udev rule yet) is the most common
// first problem: it is reported once, with the system's reason, however
// often the detection tries again.
TEST_F(HidapiBackendTest, OpenGivesTheDescriptorsLengthsOrSaysWhyNot) {
  Plug(0, VendorDescriptor(true), kNumberedLengths, true);
  Plug(1, {}, kUnnumberedLengths, false);
  const auto found = backend.Enumerate();
  auto numbered = backend.Open(found[0], nullptr);
  ASSERT_NE(numbered, nullptr);
  EXPECT_EQ(numbered->Lengths().input, 64u);
  EXPECT_EQ(numbered->Lengths().output, 64u);
  auto unknown = backend.Open(found[1], nullptr);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Lengths().input, 65u);  // 64 data bytes when the descriptor cannot be read
  Bytes report(65);
  EXPECT_EQ(unknown->ReadInputReport(report, 0), 0);  // nothing yet: a time-out
  std::string whyNot;
  HidDeviceInfo missing;
  missing.path = "/dev/hidraw9";
  EXPECT_EQ(backend.Open(missing, &whyNot), nullptr);
  EXPECT_EQ(whyNot, "No such file or directory");

  standin.nodes.push_back({"/dev/hidraw3", std::make_shared<FakeHidDevice>(0x2FE3, 0x0101), false, L"", false});
  std::vector<LinkProblem> problems;
  SetLinkProblemHook([&](const LinkProblem& problem) { problems.push_back(problem); });
  EXPECT_FALSE(hid.Open(0x2FE3, 0x0101));
  EXPECT_FALSE(hid.Open(0x2FE3, 0x0101));
  SetLinkProblemHook({});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].text, "Cannot open HID interface /dev/hidraw3");
  EXPECT_EQ(problems[0].reason, "Failed to open a device with path '/dev/hidraw3': Permission denied");
}

// A frame written in the layout of its framing reaches the device whole, and
// an answer in the same layout comes back whole, whether or not the report
// descriptor could be read.
// Name; header framing (numbered reports, else counted and unnumbered); descriptor readable; bytes of each write.
class HidapiLayoutTest : public HidapiBackendTest,
                         public ::testing::WithParamInterface<std::tuple<const char*, bool, bool, size_t>> {};

TEST_P(HidapiLayoutTest, FramesGoOutAndComeBackWhole) {
  const auto& [name, sequenced, descriptorReadable, wireLength] = GetParam();
  auto device = Plug(0, descriptorReadable ? VendorDescriptor(sequenced) : Bytes{},
                     sequenced ? kNumberedLengths : kUnnumberedLengths, sequenced);
  ASSERT_TRUE(hid.Open(0x2FE3, 0x0100));
  const Bytes frame = Counting(100);
  ASSERT_TRUE(sequenced ? hid.WriteSequencedReports(frame.data(), frame.size())
                        : hid.WriteCountedReports(frame.data(), frame.size()));
  ASSERT_EQ(standin.wire.size(), 2u);
  EXPECT_EQ(standin.wire[0].size(), wireLength);
  EXPECT_EQ(standin.wire[0][0], sequenced ? kHidFirstReport : 0x80 | 63);  // no id byte 0 on the wire
  EXPECT_EQ(standin.wire[1][0], sequenced ? kHidLastReport : 37);

  // The device answers in the same layout (its reports hold the id in front).
  const Bytes answer = Counting(70);
  for (size_t offset = 0; offset < answer.size(); offset += 63) {
    const size_t n = std::min<size_t>(63, answer.size() - offset);
    const bool last = offset + n == answer.size();
    Bytes report{sequenced ? (last ? kHidLastReport : kHidFirstReport) : uint8_t{0}};
    if (!sequenced) report.push_back(static_cast<uint8_t>(n | (last ? 0 : kHidMoreReports)));
    report.insert(report.end(), answer.begin() + static_cast<long>(offset),
                  answer.begin() + static_cast<long>(offset + n));
    device->PushInputReport(report);
  }
  Bytes buffer(1024);
  const size_t got = sequenced ? hid.ReadSequencedReports(buffer, 1024) : hid.ReadCountedReports(buffer, 1024);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(got)), answer);
}

INSTANTIATE_TEST_SUITE_P(Layouts, HidapiLayoutTest,
                         ::testing::Values(std::tuple{"Counted", false, true, 64u},
                                           std::tuple{"CountedWithoutDescriptor", false, false, 64u},
                                           std::tuple{"Sequenced", true, true, 64u},
                                           std::tuple{"SequencedWithoutDescriptor", true, false, 65u}),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

TEST_F(HidapiBackendTest, KeyboardInterfaceRefusesFramesInOutputReportsButAnswersFeatureReports) {
  auto device = Plug(0, kKeyboardDescriptor, HidReportLengths{9, 2, 65}, false);
  ASSERT_TRUE(hid.Open(0x2FE3, 0x0100));
  EXPECT_EQ(hid.lengths().output, 2u);
  const Bytes frame = Counting(16);
  EXPECT_FALSE(hid.WriteSequencedReports(frame.data(), frame.size()));
  EXPECT_FALSE(hid.WriteCountedReports(frame.data(), frame.size()));
  EXPECT_TRUE(standin.wire.empty());

  // The keyboard-interface query goes out and comes back in feature reports.
  device->PushFeatureReport(Bytes{0x00, 0x02, 'K', 'B', 0x03});
  const Bytes query{0x02, 'R', 0x22, 0x03, 0x71};
  Bytes response(1024);
  size_t responseLength = response.size();
  ASSERT_TRUE(hid.FeatureQuery(query.data(), query.size(), response.data(), responseLength));
  ASSERT_EQ(responseLength, 64u);
  EXPECT_EQ(Bytes(response.begin(), response.begin() + 4), (Bytes{0x02, 'K', 'B', 0x03}));
}

}  // namespace
}  // namespace orvane::test
