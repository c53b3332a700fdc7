#include "transport/hid_device.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>

#include "app/clock.h"
#include "transport/fake_hid_backend.h"

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(size_t n, uint8_t first = 1) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

Bytes Report(std::initializer_list<uint8_t> head, const Bytes& data = {}, size_t length = 65) {
  Bytes report(head);
  report.insert(report.end(), data.begin(), data.end());
  report.resize(length, 0);
  return report;
}

class HidDeviceTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeHidDevice> AddReader(uint16_t pid, int interfaceNumber = 0, bool multiple = false,
                                           HidReportLengths lengths = {}) {
    auto device = std::make_shared<FakeHidDevice>(0x1234, pid, interfaceNumber, multiple, lengths);
    backend.AddDevice(device);
    return device;
  }

  ManualClock clock;
  ScopedClock scoped{clock};
  FakeHidBackend backend;
  HidDevice hid{backend};
};

// ---- report layouts written ----

struct LayoutCase {
  size_t frameLength;
  std::vector<uint8_t> countBytes;  // counted layout: byte 1 of each report
  std::vector<uint8_t> reportIds;   // sequenced layout: byte 0 of each report
};

class HidLayoutTest : public HidDeviceTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(HidLayoutTest, CountedReportsCarryCountAndData) {
  const LayoutCase& c = GetParam();
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(c.frameLength);
  ASSERT_TRUE(hid.WriteCountedReports(frame.data(), frame.size()));

  const auto reports = reader->OutputReports();
  ASSERT_EQ(reports.size(), c.countBytes.size());
  Bytes data;
  for (size_t i = 0; i < reports.size(); ++i) {
    ASSERT_EQ(reports[i].size(), 65u);
    EXPECT_EQ(reports[i][0], 0x00);
    EXPECT_EQ(reports[i][1], c.countBytes[i]) << "report " << i;
    const size_t n = reports[i][1] & 0x7F;
    data.insert(data.end(), reports[i].begin() + 2, reports[i].begin() + 2 + static_cast<long>(n));
    EXPECT_TRUE(std::all_of(reports[i].begin() + 2 + static_cast<long>(n), reports[i].end(),
                            [](uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(data, frame);
}

TEST_P(HidLayoutTest, SequencedReportsCarryIdAndData) {
  const LayoutCase& c = GetParam();
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(c.frameLength);
  ASSERT_TRUE(hid.WriteSequencedReports(frame.data(), frame.size()));

  const auto reports = reader->OutputReports();
  ASSERT_EQ(reports.size(), c.reportIds.size());
  Bytes data;
  for (size_t i = 0; i < reports.size(); ++i) {
    ASSERT_EQ(reports[i].size(), 65u);
    EXPECT_EQ(reports[i][0], c.reportIds[i]) << "report " << i;
    EXPECT_EQ(reports[i][64], 0) << "63 data bytes per report";
    data.insert(data.end(), reports[i].begin() + 1, reports[i].begin() + 64);
  }
  // The last report is zero-filled after the frame.
  ASSERT_EQ(data.size(), reports.size() * 63);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), data.begin()));
  EXPECT_TRUE(std::all_of(data.begin() + static_cast<long>(frame.size()), data.end(), [](uint8_t b) { return b == 0; }));
}

// What one side cuts into reports the other puts together unchanged (the
// frames here end in a non-zero byte, as the fill of a final report is dropped).
TEST_P(HidLayoutTest, ReportsWrittenAreReadBackWhole) {
  const LayoutCase& c = GetParam();
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(c.frameLength);
  for (bool counted : {true, false}) {
    reader->ClearRecords();
    ASSERT_TRUE(counted ? hid.WriteCountedReports(frame.data(), frame.size())
                        : hid.WriteSequencedReports(frame.data(), frame.size()));
    for (const Bytes& report : reader->OutputReports()) reader->PushInputReport(report);
    Bytes buffer(1024);
    const size_t got = counted ? hid.ReadCountedReports(buffer, 1024) : hid.ReadSequencedReports(buffer, 1024);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(got)), frame)
        << (counted ? "counted" : "sequenced");
  }
}

INSTANTIATE_TEST_SUITE_P(FrameSizes, HidLayoutTest,
                         ::testing::Values(LayoutCase{16, {0x10}, {1}}, LayoutCase{63, {0x3F}, {1}},
                                           LayoutCase{64, {0xBF, 0x01}, {2, 4}},
                                           LayoutCase{126, {0xBF, 0x3F}, {2, 4}},
                                           LayoutCase{200, {0xBF, 0xBF, 0xBF, 0x0B}, {2, 3, 3, 4}}));

TEST_F(HidDeviceTest, WritesFailWithoutAnOpenInterfaceOrAfterTheReaderVanished) {
  const Bytes frame = Counting(10);
  EXPECT_FALSE(hid.WriteCountedReports(frame.data(), frame.size()));
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  reader->SetPresent(false);
  EXPECT_FALSE(hid.WriteSequencedReports(frame.data(), frame.size()));
  EXPECT_EQ(hid.ReopenAndWriteCountedReports(frame.data(), frame.size()), 0);
  reader->SetPresent(true);
  EXPECT_EQ(hid.ReopenAndWriteCountedReports(frame.data(), frame.size()), 10);
}

// ---- counted reads ----

TEST_F(HidDeviceTest, CountedReadJoinsReportsUntilTheLastOne) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(70);
  reader->PushInputReport(Report({0x00, 0xBF}, Bytes(frame.begin(), frame.begin() + 63)));
  reader->PushInputReport(Report({0x00, 0x07}, Bytes(frame.begin() + 63, frame.end())));
  reader->PushInputReport(Report({0x00, 0x01}, {0xEE}));  // the next message, left alone
  Bytes buffer(1024);
  ASSERT_EQ(hid.ReadCountedReports(buffer, 1024), 70u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), buffer.begin()));
  EXPECT_EQ(reader->PendingInputReports(), 1u);
}

TEST_F(HidDeviceTest, CountedReadEndings) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  Bytes buffer(1024);

  // First report with count 0: nothing.
  reader->PushInputReport(Report({0x00, 0x00}, Counting(10)));
  EXPECT_EQ(hid.ReadCountedReports(buffer, 1024), 0u);

  // Silent in the middle of a message: what arrived before.
  reader->PushInputReport(Report({0x00, 0xBF}, Counting(63)));
  EXPECT_EQ(hid.ReadCountedReports(buffer, 1024), 63u);

  // A count above 63 is no counted report; the message ends before it.
  reader->PushInputReport(Report({0x00, 0x85}, Counting(5)));
  reader->PushInputReport(Report({0x00, 0x7F}, Counting(63)));
  EXPECT_EQ(hid.ReadCountedReports(buffer, 1024), 5u);
}

TEST_F(HidDeviceTest, CountedReadNeverPassesTheBuffer) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  for (int i = 0; i < 20; ++i) reader->PushInputReport(Report({0x00, 0xBF}, Bytes(63, static_cast<uint8_t>(i + 1))));
  Bytes buffer(1024 + 16, 0xCC);
  EXPECT_EQ(hid.ReadCountedReports(std::span(buffer).first(1024), 1024), 1024u);
  EXPECT_TRUE(std::all_of(buffer.begin() + 1024, buffer.end(), [](uint8_t b) { return b == 0xCC; }));
}

TEST_F(HidDeviceTest, SilentReadWaitsTheGivenTimeThroughTheClock) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  Bytes buffer(1024);
  EXPECT_EQ(hid.ReadCountedReports(buffer, 1024), 0u);
  EXPECT_EQ(clock.Waits(), std::vector<uint32_t>{1024});
}

// ---- sequenced reads ----

TEST_F(HidDeviceTest, SequencedReadJoinsFirstMiddleLast) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(140);
  reader->PushInputReport(Report({2}, Bytes(frame.begin(), frame.begin() + 63)));
  reader->PushInputReport(Report({3}, Bytes(frame.begin() + 63, frame.begin() + 126)));
  reader->PushInputReport(Report({4}, Bytes(frame.begin() + 126, frame.end())));
  Bytes buffer(1024);
  ASSERT_EQ(hid.ReadSequencedReports(buffer, 1024), 140u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), buffer.begin()));
}

TEST_F(HidDeviceTest, SequencedFinalReportLosesTrailingZeros) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  reader->PushInputReport(Report({1}, {0x4B, 0x65, 0x00, 0x07, 0x00, 0x00}));
  Bytes buffer(1024);
  EXPECT_EQ(hid.ReadSequencedReports(buffer, 1024), 4u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), (Bytes{0x4B, 0x65, 0x00, 0x07}));
}

TEST_F(HidDeviceTest, SequencedReadOfSilentReaderEndsAfterTwoEmptyReads) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  reader->PushInputReport(Report({2}, Counting(63)));  // then silence in mid-message
  Bytes buffer(1024);
  EXPECT_EQ(hid.ReadSequencedReports(buffer, 1024), 63u);
  EXPECT_EQ(clock.Waits(), (std::vector<uint32_t>{1024, 1024, 1024}));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{20, 20}));
}

TEST_F(HidDeviceTest, SequencedReadOfVanishedReaderEnds) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  reader->SetPresent(false);
  Bytes buffer(1024);
  EXPECT_EQ(hid.ReadSequencedReports(buffer, 1024), 0u);
}

TEST_F(HidDeviceTest, SequencedReadNeverPassesTheBuffer) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  for (int i = 0; i < 40; ++i) reader->PushInputReport(Report({3}, Bytes(64, 0x55)));
  Bytes buffer(1024 + 16, 0xCC);
  EXPECT_EQ(hid.ReadSequencedReports(std::span(buffer).first(1024), 1024), 1024u);
  EXPECT_TRUE(std::all_of(buffer.begin() + 1024, buffer.end(), [](uint8_t b) { return b == 0xCC; }));
}

// ---- finding the interface ----

struct InterfaceCase {
  uint16_t productId;
  int expectedInterface;
};

class HidInterfaceTest : public HidDeviceTest, public ::testing::WithParamInterface<InterfaceCase> {};

TEST_P(HidInterfaceTest, SeveralInterfacesRejectOneByProductId) {
  const auto [pid, expected] = GetParam();
  auto first = AddReader(pid, 0, true);
  auto second = AddReader(pid, 1, true);
  ASSERT_TRUE(hid.Open(0x1234, pid));
  EXPECT_EQ(hid.devicePath(), backend.PathOf(expected == 0 ? *first : *second));
}

INSTANTIATE_TEST_SUITE_P(Products, HidInterfaceTest,
                         ::testing::Values(InterfaceCase{0x3810, 1}, InterfaceCase{0x3910, 1},
                                           InterfaceCase{0x4521, 1}, InterfaceCase{0x4520, 0},
                                           InterfaceCase{0x0100, 0}));

TEST_F(HidDeviceTest, SingleInterfaceDeviceIsTakenAsItIs) {
  auto only = AddReader(0x4521, 0, false);
  ASSERT_TRUE(hid.Open(0x1234, 0x4521));
  EXPECT_EQ(hid.devicePath(), backend.PathOf(*only));
}

TEST_F(HidDeviceTest, OpenMatchesBothIdsAndFailsWithoutReader) {
  AddReader(0x0100);
  EXPECT_FALSE(hid.Open(0x1234, 0x0200));
  EXPECT_FALSE(hid.Open(0x9999, 0x0100));
  EXPECT_FALSE(hid.IsOpen());
  EXPECT_TRUE(hid.Open(0x1234, 0x0100));
  EXPECT_EQ(hid.vendorId(), 0x1234u);
  EXPECT_EQ(hid.productId(), 0x0100u);
}

TEST_F(HidDeviceTest, ReportLengthsComeFromTheInterface) {
  auto reader = AddReader(0x0100, 0, false, HidReportLengths{33, 33, 9});
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(40);
  ASSERT_TRUE(hid.WriteCountedReports(frame.data(), frame.size()));
  const auto reports = reader->OutputReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].size(), 33u);
  EXPECT_EQ(reports[0][1], 0x80 | 31);
  EXPECT_EQ(reports[1][1], 9);
}

// ---- one reader among several with the same ids ----

// A bench hub: the reader at 1-2.3 and a neighbour with the same ids at 1-2.4.
// The reader reboots into its bootloader (another product id) and comes back
// as /dev/hidraw7, while a neighbour on the hub takes the freed /dev/hidraw3.
class HidLocationTest : public HidDeviceTest, public ::testing::WithParamInterface<std::string> {
 protected:
  std::shared_ptr<FakeHidDevice> Plug(uint16_t pid, const std::string& path, const std::string& location) {
    auto device = AddReader(pid);
    device->SetAddress(path, location);
    return device;
  }
};

TEST_P(HidLocationTest, TheReaderIsFollowedThroughItsRebootAndNoNeighbourIsTaken) {
  constexpr uint16_t kApp = 0x0100, kBoot = 0x0200;
  // Neighbours first: they come first in the listing.
  auto neighbour = Plug(kApp, "/dev/hidraw2", "1-2.4");
  auto bootingNeighbour = Plug(kBoot, "/dev/hidraw5", "1-2.1");
  auto reader = Plug(kApp, "/dev/hidraw3", "1-2.3");
  hid.RestrictToLocation(GetParam());
  ASSERT_TRUE(hid.Open(0x1234, kApp));
  EXPECT_EQ(hid.devicePath(), "/dev/hidraw3");

  reader->SetPresent(false);
  auto newcomer = Plug(kApp, "/dev/hidraw3", "1-2.2");
  EXPECT_FALSE(hid.Open(0x1234, kApp)) << "the reader is away; its old node is a neighbour's now";
  EXPECT_FALSE(hid.Open(0x1234, kBoot));

  auto bootloader = Plug(kBoot, "/dev/hidraw7", "1-2.3");
  ASSERT_TRUE(hid.Open(0x1234, kBoot));
  EXPECT_EQ(hid.devicePath(), "/dev/hidraw7");
  for (const auto& other : {neighbour, bootingNeighbour, newcomer}) EXPECT_EQ(other->OpenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Restrictions, HidLocationTest, ::testing::Values("1-2.3", "/dev/hidraw3"),
                         [](const auto& info) { return std::string(info.param[0] == '/' ? "ByPath" : "ByLocation"); });

TEST_F(HidDeviceTest, LocationOfALocationOrPath) {
  AddReader(0x0100)->SetAddress("/dev/hidraw3", "1-2.3");
  AddReader(0x0100)->SetAddress("/dev/hidraw9", "");  // not on the USB
  struct Case {
    std::string given;
    std::optional<std::string> location;
  };
  for (const Case& c : {Case{"1-2.3", "1-2.3"}, Case{"/dev/hidraw3", "1-2.3"}, Case{"/dev/hidraw9", "/dev/hidraw9"},
                        Case{"1-2", std::nullopt}, Case{"/dev/hidraw4", std::nullopt}, Case{"", std::nullopt}}) {
    EXPECT_EQ(HidLocationOf(backend, c.given), c.location) << c.given;
  }
  // A path without a location is matched as a path.
  hid.RestrictToLocation("/dev/hidraw9");
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  EXPECT_EQ(hid.devicePath(), "/dev/hidraw9");
}

// ---- feature reports ----

TEST_F(HidDeviceTest, FeatureOnlyInterfaceServesFeatureReports) {
  auto reader = AddReader(0x0100);
  reader->SetReadWriteAllowed(false);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes frame = Counting(8);
  EXPECT_FALSE(hid.WriteCountedReports(frame.data(), frame.size()));

  reader->PushFeatureReport(Report({0x00, 0x06, 'V', '1'}));
  const Bytes request{0x02, 'R', 0x56, 0x03, 0x37};
  Bytes answer(1024);
  size_t answerLength = answer.size();
  EXPECT_TRUE(hid.FeatureQuery(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(answerLength, 64u);
  EXPECT_EQ(answer[0], 0x06);
  EXPECT_EQ(reader->FeatureReportsSet(), std::vector<Bytes>{Report({0x00}, request)});
}

TEST_F(HidDeviceTest, FeatureQueryPausesAndStopsAfterFiveMisses) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  reader->PushFeatureReport(Report({0x00, 0x06, 0x01}));
  reader->PushFeatureReport(Report({0x00, 0x02, 0x03}));
  const Bytes request(70, 0x11);  // two reports
  Bytes answer(1024);
  size_t answerLength = answer.size();
  ASSERT_TRUE(hid.FeatureQuery(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(answerLength, 128u);
  EXPECT_EQ(answer[64], 0x02);
  EXPECT_EQ(reader->FeatureReportsSet().size(), 2u);
  // 1 ms after each report, 100 ms before collecting, 10 ms after each of the first four misses.
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1, 1, 100, 10, 10, 10, 10}));
}

TEST_F(HidDeviceTest, FeatureCommandUsesLongerPausesAndWantsAckInFourthByte) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes request{0x02, 0x01, 0x00, 0x41, 0x41, 0x41, 0x03};
  Bytes answer(1024);

  reader->PushFeatureReport(Report({0x00, 0x02, 0x01, 0x00, 0x06, 0x00, 0x00, 0x03}));
  size_t answerLength = answer.size();
  EXPECT_TRUE(hid.FeatureCommand(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1, 300, 100, 100, 100, 100}));

  reader->PushFeatureReport(Report({0x00, 0x02, 0x01, 0x00, 0x15, 0x6A, 0x00, 0x03}));
  answerLength = answer.size();
  EXPECT_FALSE(hid.FeatureCommand(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(answerLength, 64u);
}

TEST_F(HidDeviceTest, StatusQueryNeedsAckFirst) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes status{0x02, 'S', 0x00, 0x03, 0x51};
  Bytes answer(1024);
  size_t answerLength = answer.size();
  reader->PushFeatureReport(Report({0x00, 0x15}));
  EXPECT_FALSE(hid.FeatureQuery(status.data(), status.size(), answer.data(), answerLength));
  answerLength = answer.size();
  EXPECT_FALSE(hid.FeatureQuery(status.data(), status.size(), answer.data(), answerLength));  // no answer at all
  reader->PushFeatureReport(Report({0x00, 0x06}));
  answerLength = answer.size();
  EXPECT_TRUE(hid.FeatureQuery(status.data(), status.size(), answer.data(), answerLength));
}

TEST_F(HidDeviceTest, FeatureSetIsRetriedThreeTimes) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  const Bytes request{0x02, 'R', 0x56};
  Bytes answer(1024);
  size_t answerLength = answer.size();

  reader->SetFailNextFeatureSets(2);
  EXPECT_TRUE(hid.FeatureQuery(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(reader->FeatureReportsSet().size(), 1u);
  const auto sleeps = clock.Sleeps();
  ASSERT_GE(sleeps.size(), 3u);
  EXPECT_EQ(std::vector<uint32_t>(sleeps.begin(), sleeps.begin() + 3), (std::vector<uint32_t>{10, 10, 1}));

  clock.ClearRecords();
  reader->SetFailNextFeatureSets(3);
  answerLength = answer.size();
  EXPECT_FALSE(hid.FeatureQuery(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(answerLength, 0u);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{10, 10, 10}));
}

TEST_F(HidDeviceTest, FeatureCollectionStopsBeforeOverflow) {
  auto reader = AddReader(0x0100);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  for (int i = 0; i < 3; ++i) reader->PushFeatureReport(Report({0x00, 0x06}, Bytes(63, 0x77)));
  const Bytes request{0x02, 'R'};
  Bytes answer(128 + 8, 0xCC);
  size_t answerLength = 128;
  EXPECT_FALSE(hid.FeatureQuery(request.data(), request.size(), answer.data(), answerLength));
  EXPECT_EQ(answerLength, 128u);
  EXPECT_TRUE(std::all_of(answer.begin() + 128, answer.end(), [](uint8_t b) { return b == 0xCC; }));
}

}  // namespace
}  // namespace orvane
