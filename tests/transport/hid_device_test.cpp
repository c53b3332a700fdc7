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
    Bytes buffer(1024 + 16, 0xCC);
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
  Bytes answer;
  size_t answerLength = 0;
};

TEST_F(HidDeviceTest, CountedReadEndings) {
  EXPECT_EQ(Read(false), 0u) << "no interface open";
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

// Readers with several interfaces: some products use the second one.
TEST_F(HidDeviceTest, ProductIdChoosesTheInterface) {
  for (const auto& [pid, expected] :
       {std::pair{0x3810, 1}, std::pair{0x3910, 1}, std::pair{0x4521, 1}, std::pair{0x4520, 0}}) {
    const std::shared_ptr<FakeHidDevice> interfaces[] = {AddReader(pid, 0, true), AddReader(pid, 1, true)};
    EXPECT_FALSE(hid.Open(0x1234, 0x0200));
    EXPECT_FALSE(hid.Open(0x9999, pid));
    ASSERT_TRUE(hid.Open(0x1234, pid));
    EXPECT_EQ(hid.devicePath(), backend.PathOf(*interfaces[expected])) << std::hex << pid;
  }
}

TEST_F(HidDeviceTest, LocationOfALocationOrPath) {
  auto first = AddReader(0x0100);
  first->SetAddress("/dev/hidraw3", "1-2.3");
  AddReader(0x0100)->SetAddress("/dev/hidraw9", "");  // not on the USB
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"1-2.3", "1-2.3"},    {"/dev/hidraw3", "1-2.3"},      {"/dev/hidraw9", "/dev/hidraw9"},
      {"1-2", std::nullopt}, {"/dev/hidraw4", std::nullopt}, {"", std::nullopt}};
  for (const auto& [given, location] : cases) EXPECT_EQ(HidLocationOf(backend, given), location) << given;
  // A path without a location is matched as a path; a reader that went away is passed over.
  first->SetPresent(false);
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
