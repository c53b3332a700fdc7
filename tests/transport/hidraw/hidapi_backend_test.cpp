// The hidapi backend against the hidraw stand-in: enumeration, opening,
// the report layouts on the wire, feature reports and a device that goes away.

#include "transport/hidapi_backend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "app/clock.h"
#include "hid_descriptors.h"
#include "hidraw_standin.h"
#include "support/temp_dir.h"
#include "transport/hid_device.h"
#include "transport/message_hook.h"

namespace orvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(size_t n) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), uint8_t{1});
  return bytes;
}

class HidapiBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { HidrawStandin::Reset(); }
  void TearDown() override {
    hid.Close();
    EXPECT_EQ(HidrawStandin::OpenHandles(), 0);
    EXPECT_EQ(HidrawStandin::LiveEnumerations(), 0);
    EXPECT_EQ(HidrawStandin::Misuses(), std::vector<std::string>{});
  }

  // A node "/dev/hidrawN" whose descriptor sysfs shows, unless `descriptor` is empty.
  std::shared_ptr<FakeHidDevice> Plug(int number, const Bytes& descriptor, HidReportLengths lengths, bool numbered,
                                      uint16_t pid = 0x0100, int interfaceNumber = 0,
                                      std::wstring serial = L"A1") {
    auto device = std::make_shared<FakeHidDevice>(0x2FE3, pid, interfaceNumber, false, lengths);
    const std::string name = "hidraw" + std::to_string(number);
    if (!descriptor.empty()) WriteReportDescriptor(sysfs, name, descriptor);
    HidrawStandin::Plug({"/dev/" + name, device, numbered, std::move(serial)});
    return device;
  }

  ManualClock clock;
  ScopedClock scoped{clock};
  TempDir sysfs;
  HidapiBackend backend{sysfs.path()};
  HidDevice hid{backend};
};

// An interface the user may not open (no udev rule yet) is the most common
// first problem: it is reported once, with the system's reason, however
// often the detection tries again.
TEST_F(HidapiBackendTest, InterfaceThatCannotBeOpenedIsReportedOnce) {
  HidrawStandin::Plug({"/dev/hidraw3", std::make_shared<FakeHidDevice>(0x2FE3, 0x0100), false, L"", false});
  std::vector<LinkProblem> problems;
  SetLinkProblemHook([&](const LinkProblem& problem) { problems.push_back(problem); });
  EXPECT_FALSE(hid.Open(0x2FE3, 0x0100));
  EXPECT_FALSE(hid.Open(0x2FE3, 0x0100));
  SetLinkProblemHook({});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].text, "Cannot open HID interface /dev/hidraw3");
  EXPECT_EQ(problems[0].reason, "Failed to open a device with path '/dev/hidraw3': Permission denied");
}

TEST_F(HidapiBackendTest, EnumerationTellsInterfacesApartAndFreesItsList) {
  // Two interfaces of one reader on a hub port; the second reader's node has no USB device above it.
  const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/";
  LinkHidrawNode(sysfs.path(), "hidraw0", sysfs, usb + "1-2.3:1.0/0003:2FE3:0100.0001");
  LinkHidrawNode(sysfs.path(), "hidraw1", sysfs, usb + "1-2.3:1.1/0003:2FE3:0100.0002");
  Plug(0, VendorDescriptor(false), kUnnumberedLengths, false, 0x0100, 0);
  Plug(1, VendorDescriptor(false), kUnnumberedLengths, false, 0x0100, 1);
  Plug(2, VendorDescriptor(false), kUnnumberedLengths, false, 0x0100, 0, L"B2");  // a second reader
  const auto found = backend.Enumerate();
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[1].path, "/dev/hidraw1");
  EXPECT_EQ(found[1].vendorId, 0x2FE3);
  EXPECT_EQ(found[1].productId, 0x0100);
  EXPECT_EQ(found[1].interfaceNumber, 1);
  EXPECT_TRUE(found[0].multipleInterfaces);
  EXPECT_TRUE(found[1].multipleInterfaces);
  EXPECT_FALSE(found[2].multipleInterfaces);
  EXPECT_EQ(found[0].location, "1-2.3");
  EXPECT_EQ(found[1].location, "1-2.3");
  EXPECT_EQ(found[2].location, "");
  EXPECT_EQ(HidrawStandin::LiveEnumerations(), 0);
}

TEST_F(HidapiBackendTest, OpenGivesTheDescriptorsLengthsOrSaysWhyNot) {
  Plug(0, VendorDescriptor(true), kNumberedLengths, true);
  Plug(1, {}, kUnnumberedLengths, false);
  HidrawStandin::Plug({"/dev/hidraw2", std::make_shared<FakeHidDevice>(0x2FE3, 0x0101), false, L"", false});
  const auto found = backend.Enumerate();
  ASSERT_EQ(found.size(), 3u);

  std::string whyNot;
  auto numbered = backend.Open(found[0], &whyNot);
  ASSERT_NE(numbered, nullptr);
  EXPECT_EQ(numbered->Lengths().input, 64u);
  EXPECT_EQ(numbered->Lengths().output, 64u);
  auto unknown = backend.Open(found[1], &whyNot);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Lengths().input, 65u);  // 64 data bytes when the descriptor cannot be read
  EXPECT_EQ(HidrawStandin::OpenHandles(), 2);

  HidDeviceInfo missing;
  missing.path = "/dev/hidraw9";
  EXPECT_EQ(backend.Open(missing, &whyNot), nullptr);
  EXPECT_NE(whyNot.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(backend.Open(found[2], &whyNot), nullptr);
  EXPECT_EQ(whyNot, "Failed to open a device with path '/dev/hidraw2': Permission denied");
  numbered.reset();
  unknown.reset();
  EXPECT_EQ(HidrawStandin::OpenHandles(), 0);
}

// A frame written in the layout of its framing reaches the device whole, and
// an answer in the same layout comes back whole, whether or not the report
// descriptor could be read.
struct LayoutCase {
  const char* name;
  bool sequenced;  // header framing: numbered reports; else counted, unnumbered
  bool descriptorReadable;
  size_t wireLength;  // bytes of each write on the wire
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class HidapiLayoutTest : public HidapiBackendTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(HidapiLayoutTest, FramesGoOutAndComeBackWhole) {
  const LayoutCase& c = GetParam();
  auto device = Plug(0, c.descriptorReadable ? VendorDescriptor(c.sequenced) : Bytes{},
                     c.sequenced ? kNumberedLengths : kUnnumberedLengths, c.sequenced);
  ASSERT_TRUE(hid.Open(0x2FE3, 0x0100));
  const Bytes frame = Counting(100);
  ASSERT_TRUE(c.sequenced ? hid.WriteSequencedReports(frame.data(), frame.size())
                          : hid.WriteCountedReports(frame.data(), frame.size()));

  const auto wire = HidrawStandin::WireWrites();
  ASSERT_EQ(wire.size(), 2u);
  EXPECT_EQ(wire[0].size(), c.wireLength);
  EXPECT_EQ(wire[0][0], c.sequenced ? kHidFirstReport : 0x80 | 63);  // no id byte 0 on the wire
  EXPECT_EQ(wire[1][0], c.sequenced ? kHidLastReport : 37);

  // The device answers in the same layout (its reports hold the id in front).
  const Bytes answer = Counting(70);
  for (size_t offset = 0; offset < answer.size(); offset += 63) {
    const size_t n = std::min<size_t>(63, answer.size() - offset);
    const bool last = offset + n == answer.size();
    Bytes report{c.sequenced ? (last ? kHidLastReport : kHidFirstReport) : uint8_t{0}};
    if (!c.sequenced) report.push_back(static_cast<uint8_t>(n | (last ? 0 : kHidMoreReports)));
    report.insert(report.end(), answer.begin() + static_cast<long>(offset),
                  answer.begin() + static_cast<long>(offset + n));
    device->PushInputReport(report);
  }
  Bytes buffer(1024);
  const size_t got = c.sequenced ? hid.ReadSequencedReports(buffer, 1024) : hid.ReadCountedReports(buffer, 1024);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(got)), answer);
}

INSTANTIATE_TEST_SUITE_P(Layouts, HidapiLayoutTest,
                         ::testing::Values(LayoutCase{"Counted", false, true, 64},
                                           LayoutCase{"CountedWithoutDescriptor", false, false, 64},
                                           LayoutCase{"Sequenced", true, true, 64},
                                           LayoutCase{"SequencedWithoutDescriptor", true, false, 65}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidapiBackendTest, KeyboardInterfaceRefusesFramesInOutputReportsButAnswersFeatureReports) {
  auto device = Plug(0, KeyboardDescriptor(), kKeyboardLengths, false);
  ASSERT_TRUE(hid.Open(0x2FE3, 0x0100));
  EXPECT_EQ(hid.lengths().output, 2u);
  const Bytes frame = Counting(16);
  EXPECT_FALSE(hid.WriteSequencedReports(frame.data(), frame.size()));
  EXPECT_FALSE(hid.WriteCountedReports(frame.data(), frame.size()));
  EXPECT_TRUE(HidrawStandin::WireWrites().empty());

  // The keyboard-interface query goes out and comes back in feature reports.
  device->PushFeatureReport(Bytes{0x00, 0x02, 'K', 'B', 0x03});
  const Bytes query{0x02, 'R', 0x22, 0x03, 0x71};
  Bytes response(1024);
  size_t responseLength = response.size();
  ASSERT_TRUE(hid.FeatureQuery(query.data(), query.size(), response.data(), responseLength));
  ASSERT_EQ(responseLength, 64u);
  EXPECT_EQ(Bytes(response.begin(), response.begin() + 4), (Bytes{0x02, 'K', 'B', 0x03}));
  const auto set = device->FeatureReportsSet();
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].size(), 65u);
  EXPECT_EQ(Bytes(set[0].begin(), set[0].begin() + 6), (Bytes{0x00, 0x02, 'R', 0x22, 0x03, 0x71}));
}

TEST_F(HidapiBackendTest, DeviceThatWentAwayFailsEveryTransferUntilOpenedAgain) {
  auto device = Plug(0, VendorDescriptor(false), kUnnumberedLengths, false);
  const auto found = backend.Enumerate();
  ASSERT_EQ(found.size(), 1u);
  auto connection = backend.Open(found[0], nullptr);
  ASSERT_NE(connection, nullptr);
  Bytes report(65);
  EXPECT_EQ(connection->ReadInputReport(report, 0), 0);  // nothing yet: a time-out

  device->SetPresent(false);
  EXPECT_TRUE(backend.Enumerate().empty());
  EXPECT_EQ(connection->ReadInputReport(report, 0), -1);
  EXPECT_EQ(connection->WriteOutputReport(report), -1);
  EXPECT_EQ(connection->SendFeatureReport(report), -1);
  EXPECT_EQ(connection->GetFeatureReport(report), -1);

  // Back again: the old handle stays dead, a new one works.
  device->SetPresent(true);
  EXPECT_EQ(connection->ReadInputReport(report, 0), -1);
  connection = backend.Open(backend.Enumerate().at(0), nullptr);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->WriteOutputReport(report), 65);
  EXPECT_EQ(HidrawStandin::OpenHandles(), 1);
}

}  // namespace
}  // namespace orvane::test
