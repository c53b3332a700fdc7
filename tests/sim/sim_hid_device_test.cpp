#include "reader-sim/sim_hid_device.h"

#include <gtest/gtest.h>

#include "app/clock.h"
#include "sim_test_frames.h"
#include "sim_test_io.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

constexpr uint16_t kVid = 0x1234;
constexpr uint16_t kPid = 0x4521;

// The tool's side of the fake HID backend.
class HidHost {
 public:
  explicit HidHost(FakeHidBackend& backend) : backend_(backend) {}

  bool Open() {
    connection_.reset();
    for (const HidDeviceInfo& info : backend_.Enumerate()) {
      if (info.vendorId == kVid && info.productId == kPid) connection_ = backend_.Open(info, nullptr);
    }
    return connection_ != nullptr;
  }

  // Output reports in the counted (report id 0) or sequenced (ids 1 to 4) layout.
  bool Write(const Bytes& frame, bool counted) {
    size_t header = counted ? 2 : 1;
    size_t reports = (frame.size() + 62) / 63;
    for (size_t i = 0; i < reports; ++i) {
      Bytes report(65, 0);
      size_t n = std::min<size_t>(63, frame.size() - i * 63);
      bool last = i + 1 == reports;
      if (counted) {
        report[1] = static_cast<uint8_t>(n | (last ? 0 : 0x80));
      } else {
        report[0] = reports == 1 ? 1 : i == 0 ? 2 : last ? 4 : 3;
      }
      std::copy_n(frame.begin() + static_cast<long>(i * 63), n, report.begin() + static_cast<long>(header));
      if (!connection_ || connection_->WriteOutputReport(report) < 0) return false;
    }
    return true;
  }

  // The input reports of one answer, as they arrived.
  std::vector<Bytes> ReadReports(int realMs = 2000) {
    std::vector<Bytes> reports;
    for (;;) {
      Bytes report(65, 0);
      int n = connection_ ? connection_->ReadInputReport(report, realMs) : -1;
      if (n <= 0) break;
      reports.push_back(report);
      bool final = report[0] == 0 ? (report[1] & 0x80) == 0 : (report[0] == 1 || report[0] == 4);
      if (final) break;
    }
    return reports;
  }

  bool SetFeature(const Bytes& request) {
    Bytes report(65, 0);
    std::copy_n(request.begin(), std::min<size_t>(64, request.size()), report.begin() + 1);
    return connection_ && connection_->SendFeatureReport(report) >= 0;
  }

  Bytes GetFeature() {
    Bytes report(65, 0);
    if (!connection_ || connection_->GetFeatureReport(report) < 0) return {};
    return report;
  }

 private:
  FakeHidBackend& backend_;
  std::unique_ptr<HidConnection> connection_;
};

class SimHid : public ::testing::Test {
 protected:
  SimHid() { backend_.AddDevice(device_); }

  ScaledClock clock_{100};
  ScopedClock scoped_{clock_};
  FakeHidBackend backend_;
  std::shared_ptr<FakeHidDevice> device_ = std::make_shared<FakeHidDevice>(kVid, kPid);
  HidHost host_{backend_};
};

TEST_F(SimHid, AnswersCountedReportsWithCountedReports) {
  ReaderOptions o;
  o.framing = FrameProtocol::Stx;
  o.mode = ReaderMode::Bootloader;
  SimulatedReader reader(o);
  SimHidDevice sim(reader, device_);
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(host_.Open());

  ASSERT_TRUE(host_.Write(IdentifyStx(), true));
  auto reports = host_.ReadReports();
  ASSERT_EQ(reports.size(), 1u);
  Bytes expected = StxFrame(Cat({0x06}, Bytes{'B', 'o', 'o', 't', 'l', 'o', 'a', 'd', 'e', 'r', ' ', 'F', 'W', ' ',
                                            '2', ' ', 'V', '1', '.', '0', '5', 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reports[0][0], 0x00);
  EXPECT_EQ(reports[0][1], expected.size());
  EXPECT_EQ(Bytes(reports[0].begin() + 2, reports[0].begin() + 2 + static_cast<long>(expected.size())), expected);

  // A 200-byte block spans four output reports.
  auto sections = ModuleSections(0x4000, 1, 190);
  for (const Section& s : sections) {
    ASSERT_TRUE(host_.Write(StxBlock(s.address, s.data), true));
    auto answer = host_.ReadReports();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(Bytes(answer[0].begin(), answer[0].begin() + 11),
              (Bytes{0x00, 0x09, 0x02, 0x03, 0x00, 0x06, 0x06, 0x06, 0x06, 0x12, 0x03}));
  }
  EXPECT_EQ(reader.BlockImage().at(0x4000), sections[2].data);
}

TEST_F(SimHid, AnswersSequencedReportsWithSequencedReports) {
  SimulatedReader reader;
  SimHidDevice sim(reader, device_);
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(host_.Open());
  ASSERT_TRUE(host_.Write(IdentifyHeader(), false));
  auto reports = host_.ReadReports();
  ASSERT_EQ(reports.size(), 1u);
  Bytes expected = HeaderAnswer(0x29, 0x00, Text("Orvane Taviron2 APP V2.00.020"));
  EXPECT_EQ(reports[0][0], 1);
  EXPECT_EQ(Bytes(reports[0].begin() + 1, reports[0].begin() + 1 + static_cast<long>(expected.size())), expected);

  // A request spread over first, middle and last reports.
  ASSERT_TRUE(host_.Write(HeaderFrame(0xC7, 0x45, {16, 0xC8, 0, 0, 0}), false));
  host_.ReadReports();
  ASSERT_TRUE(host_.Write(HeaderFrame(0xC7, 0x46, Cat({16, 0, 0, 0}, Bytes(200, 0x77))), false));
  EXPECT_EQ(reader.Modules().at(0).data, Bytes(200, 0x77));
}

TEST_F(SimHid, KeyboardInterfaceAnswersFeatureReportsAndVanishesToReboot) {
  ReaderOptions o;
  o.keyboardInterface = true;
  o.keyboardAnswer = "KB V2.00";
  o.rebootDelayMs = 60000;
  SimulatedReader reader(o);
  SimHidDevice sim(reader, device_);
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(host_.Open());

  ASSERT_TRUE(host_.Write(IdentifyHeader(), false));
  EXPECT_TRUE(host_.ReadReports(50).empty()) << "the keyboard interface does not answer output reports";

  ASSERT_TRUE(host_.SetFeature({0x02, 0x52, 0x22, 0x03, 0x71}));
  Bytes report = host_.GetFeature();
  Bytes text = {0x02, 0x22, 'K', 'B', ' ', 'V', '2', '.', '0', '0', 0x03};
  uint8_t lrc = 0;
  for (uint8_t b : text) lrc ^= b;
  EXPECT_EQ(Bytes(report.begin() + 1, report.begin() + 13), Cat(text, {lrc}));
  EXPECT_EQ(host_.GetFeature(), Bytes(65, 0)) << "nothing more to read";

  // The keyboard STX form of the entry; the device goes away after the answer was read.
  ASSERT_TRUE(host_.SetFeature(StxFrame(EntryPayload("ORVBL"))));
  report = host_.GetFeature();
  EXPECT_EQ(Bytes(report.begin() + 1, report.begin() + 8), (Bytes{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}));
  ASSERT_TRUE(WaitUntil([&] { return !device_->Present(); }));
  EXPECT_FALSE(host_.Open());
  ASSERT_TRUE(WaitUntil([&] { return device_->Present(); }));

  // Back as the bootloader, which answers output reports.
  ASSERT_TRUE(host_.Open());
  ASSERT_TRUE(host_.Write(IdentifyHeader(), false));
  auto reports = host_.ReadReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(std::string(reports[0].begin() + 15, reports[0].begin() + 28), "Bootloader FW");
}

TEST_F(SimHid, SlowAnswerAndRebootDoNotHoldUpTheToolsWrite) {
  ReaderOptions o;
  o.answerDelayMs = 20000;  // 0.2 s on the scaled clock
  o.rebootDelayMs = 1000;
  SimulatedReader reader(o);
  SimHidDevice sim(reader, device_);
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(host_.Open());
  ASSERT_TRUE(host_.Write(HeaderFrame(0xC7, 0x41), false));
  EXPECT_EQ(device_->PendingInputReports(), 0u) << "the answer is still coming";
  auto reports = host_.ReadReports(3000);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0][1 + 11], 0x00);  // status OK
  ASSERT_TRUE(WaitUntil([&] { return reader.Reboots() == 1 && device_->Present(); }));
  ASSERT_TRUE(WaitUntil([&] { return host_.Open(); }));
  EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);
  sim.Stop();
  EXPECT_TRUE(device_->Present());
}

}  // namespace
}  // namespace orvane::sim
