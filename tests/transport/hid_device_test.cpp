#include "transport/hid_device.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>

#include "app/clock.h"
#include "transport/fake_hid_backend.h"

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(size_t n) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), uint8_t{1});
  return bytes;
}

Bytes Report(std::initializer_list<uint8_t> head, const Bytes& data = {}) {
  Bytes report(head);
  report.insert(report.end(), data.begin(), data.end());
  report.resize(65, 0);
  return report;
}

bool Untouched(const Bytes& buffer, size_t from) {
  return std::all_of(buffer.begin() + static_cast<long>(from), buffer.end(), [](uint8_t b) { return b == 0xCC; });
}

class HidDeviceTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeHidDevice> AddReader(uint16_t pid, int interfaceNumber = 0, bool multiple = false) {
    auto device = std::make_shared<FakeHidDevice>(0x1234, pid, interfaceNumber, multiple);
    backend.AddDevice(device);
    return device;
  }
  std::shared_ptr<FakeHidDevice> OpenReader() {
    auto device = AddReader(0x0100);
    EXPECT_TRUE(hid.Open(0x1234, 0x0100));
    return device;
  }
  // Reads into a buffer of 1024 bytes with 16 more behind it that must stay untouched.
  size_t Read(bool counted) {
    buffer.assign(1024 + 16, 0xCC);
    const auto span = std::span(buffer).first(1024);
    const size_t n = counted ? hid.ReadCountedReports(span, 1024) : hid.ReadSequencedReports(span, 1024);
    EXPECT_TRUE(Untouched(buffer, 1024));
    return n;
  }
  // A feature transfer into a buffer of `capacity` bytes; the answer's length lands in answerLength.
  bool Feature(const Bytes& request, bool command = false, size_t capacity = 1024) {
    answer.assign(capacity + 8, 0xCC);
    answerLength = capacity;
    const bool ok = command ? hid.FeatureCommand(request.data(), request.size(), answer.data(), answerLength)
                            : hid.FeatureQuery(request.data(), request.size(), answer.data(), answerLength);
    EXPECT_TRUE(Untouched(answer, capacity));
    return ok;
  }

  ManualClock clock;
  ScopedClock scoped{clock};
  FakeHidBackend backend;
  HidDevice hid{backend};
  Bytes buffer;
  Bytes answer;
  size_t answerLength = 0;
};

TEST_F(HidDeviceTest, WritesFailWithoutAnOpenInterfaceOrAfterTheReaderVanished) {
  const Bytes frame = Counting(10);
  EXPECT_FALSE(hid.WriteCountedReports(frame.data(), frame.size()));
  EXPECT_EQ(Read(false), 0u);
  auto reader = OpenReader();
  reader->SetPresent(false);
  EXPECT_FALSE(hid.WriteSequencedReports(frame.data(), frame.size()));
  EXPECT_EQ(hid.ReopenAndWriteCountedReports(frame.data(), frame.size()), 0);
  reader->SetPresent(true);
  EXPECT_EQ(hid.ReopenAndWriteCountedReports(frame.data(), frame.size()), 10);
}

TEST_F(HidDeviceTest, CountedReadEndings) {
  auto reader = OpenReader();
  // Never past the buffer.
  for (int i = 0; i < 20; ++i) reader->PushInputReport(Report({0x00, 0xBF}, Bytes(63, 0x11)));
  EXPECT_EQ(Read(true), 1024u);
  while (reader->PendingInputReports() > 0) Read(true);
  // A count of 0 first: nothing. Silent in mid-message: what came before.
  reader->PushInputReport(Report({0x00, 0x00}, Counting(10)));
  EXPECT_EQ(Read(true), 0u);
  reader->PushInputReport(Report({0x00, 0xBF}, Counting(63)));
  EXPECT_EQ(Read(true), 63u);
  // A count above 63 is no counted report: the message ends before it.
  reader->PushInputReport(Report({0x00, 0x85}, Counting(5)));
  reader->PushInputReport(Report({0x00, 0x7F}, Counting(63)));
  EXPECT_EQ(Read(true), 5u);
  // The last report ends the message; the next one is left alone.
  reader->PushInputReport(Report({0x00, 0x01}, {0xEE}));
  reader->PushInputReport(Report({0x00, 0x01}, {0xEF}));
  EXPECT_EQ(Read(true), 1u);
  EXPECT_EQ(reader->PendingInputReports(), 1u);
  EXPECT_EQ(Read(true), 1u);
}

TEST_F(HidDeviceTest, SequencedReadEndings) {
  auto reader = OpenReader();
  // The final report loses its trailing zeros.
  reader->PushInputReport(Report({1}, {0x4B, 0x65, 0x00, 0x07, 0x00, 0x00}));
  EXPECT_EQ(Read(false), 4u);
  // Silent in mid-message: two more empty reads 20 ms apart, each waiting its time.
  clock.ClearRecords();
  reader->PushInputReport(Report({2}, Counting(63)));
  EXPECT_EQ(Read(false), 63u);
  EXPECT_EQ(clock.Waits(), (std::vector<uint32_t>{1024, 1024, 1024}));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{20, 20}));
  // Never past the buffer.
  for (int i = 0; i < 40; ++i) reader->PushInputReport(Report({3}, Bytes(64, 0x55)));
  EXPECT_EQ(Read(false), 1024u);
  // A vanished reader ends the read.
  reader->SetPresent(false);
  EXPECT_EQ(Read(false), 0u);
}

// Readers with several interfaces: some products use the second one.
// Product id, several interfaces, the interface expected.
class HidInterfaceTest : public HidDeviceTest, public ::testing::WithParamInterface<std::tuple<uint16_t, bool, int>> {};

TEST_P(HidInterfaceTest, ProductIdChoosesTheInterface) {
  const auto [pid, multiple, expected] = GetParam();
  auto first = AddReader(pid, 0, multiple);
  auto second = multiple ? AddReader(pid, 1, multiple) : nullptr;
  EXPECT_FALSE(hid.Open(0x1234, 0x0200));
  EXPECT_FALSE(hid.Open(0x9999, pid));
  ASSERT_TRUE(hid.Open(0x1234, pid));
  EXPECT_EQ(hid.devicePath(), backend.PathOf(expected == 0 ? *first : *second));
}

INSTANTIATE_TEST_SUITE_P(Products, HidInterfaceTest,
                         ::testing::Values(std::tuple{0x3810, true, 1}, std::tuple{0x3910, true, 1},
                                           std::tuple{0x4521, true, 1}, std::tuple{0x4520, true, 0},
                                           std::tuple{0x0100, true, 0}, std::tuple{0x4521, false, 0}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

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
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"1-2.3", "1-2.3"},         {"/dev/hidraw3", "1-2.3"},      {"/dev/hidraw9", "/dev/hidraw9"},
      {"1-2", std::nullopt},      {"/dev/hidraw4", std::nullopt}, {"", std::nullopt}};
  for (const auto& [given, location] : cases) EXPECT_EQ(HidLocationOf(backend, given), location) << given;
  // A path without a location is matched as a path.
  hid.RestrictToLocation("/dev/hidraw9");
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  EXPECT_EQ(hid.devicePath(), "/dev/hidraw9");
}

// ---- feature reports ----

TEST_F(HidDeviceTest, FeatureQueryOnAFeatureOnlyInterface) {
  auto reader = OpenReader();
  reader->SetReadWriteAllowed(false);
  ASSERT_TRUE(hid.Open(0x1234, 0x0100));
  EXPECT_FALSE(hid.WriteCountedReports(Counting(8).data(), 8));
  reader->PushFeatureReport(Report({0x00, 0x06, 0x01}));
  reader->PushFeatureReport(Report({0x00, 0x02, 0x03}));
  ASSERT_TRUE(Feature(Bytes(70, 0x11)));  // two reports
  EXPECT_EQ(answerLength, 128u);
  EXPECT_EQ(answer[64], 0x02);
  EXPECT_EQ(reader->FeatureReportsSet().size(), 2u);
  // 1 ms after each report, 100 ms before collecting, 10 ms after each of the first four misses.
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1, 1, 100, 10, 10, 10, 10}));
}

TEST_F(HidDeviceTest, FeatureAnswersThatFail) {
  auto reader = OpenReader();
  // The command form: longer pauses, ACK wanted in the fourth byte.
  const Bytes command{0x02, 0x01, 0x00, 0x41, 0x41, 0x41, 0x03};
  reader->PushFeatureReport(Report({0x00, 0x02, 0x01, 0x00, 0x06, 0x00, 0x00, 0x03}));
  EXPECT_TRUE(Feature(command, true));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1, 300, 100, 100, 100, 100}));
  reader->PushFeatureReport(Report({0x00, 0x02, 0x01, 0x00, 0x15, 0x6A, 0x00, 0x03}));
  EXPECT_FALSE(Feature(command, true));

  // A status query needs ACK first, and an answer at all.
  const Bytes status{0x02, 'S', 0x00, 0x03, 0x51};
  reader->PushFeatureReport(Report({0x00, 0x15}));
  EXPECT_FALSE(Feature(status));
  EXPECT_FALSE(Feature(status));
  reader->PushFeatureReport(Report({0x00, 0x06}));
  EXPECT_TRUE(Feature(status));

  // A set is tried three times, 10 ms apart.
  const Bytes request{0x02, 'R', 0x56};
  clock.ClearRecords();
  reader->SetFailNextFeatureSets(3);
  EXPECT_FALSE(Feature(request));
  EXPECT_EQ(answerLength, 0u);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{10, 10, 10}));
  reader->SetFailNextFeatureSets(2);
  EXPECT_TRUE(Feature(request));

  // An answer longer than the buffer stops before overflowing it.
  for (int i = 0; i < 3; ++i) reader->PushFeatureReport(Report({0x00, 0x06}, Bytes(63, 0x77)));
  EXPECT_FALSE(Feature(request, false, 128));
  EXPECT_EQ(answerLength, 128u);
}

}  // namespace
}  // namespace orvane
