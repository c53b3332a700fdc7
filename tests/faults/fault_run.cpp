#include "faults/fault_run.h"

#include <chrono>

#include "protocol/frames.h"

namespace orvane::test {

bool IsBlockRequest(const std::vector<uint8_t>& frame) {
  const bool header = frame.size() >= kHeaderOverhead + 4 && std::equal(kHeaderTag, kHeaderTag + 9, frame.begin()) &&
                      frame[10] == 0xC7 && frame[11] == 0x43;
  const bool stx = frame.size() > kStxOverhead && frame[0] == kStx && frame[3] == 0x42;
  return header || stx;
}

FaultRun::~FaultRun() {
  // The listener may run on a runner's thread until the runners stop.
  if (reader) reader->SetTraceListener(nullptr);
}

std::string FaultRun::AddApplication(uint16_t blocks, bool pci) {
  EXPECT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(pci, blocks)));
  return PathInFolder(PathInFolder(rig.folder.path(), kAppFolderName), "app.fm");
}

void FaultRun::OnBlockRequest(int n, std::function<void()> action) {
  blocksSeen_.store(0);
  reader->SetTraceListener([this, n, action = std::move(action)](const sim::TraceEntry& entry) {
    if (entry.direction != sim::TraceEntry::Direction::Received || !IsBlockRequest(entry.bytes)) return;
    if (blocksSeen_.fetch_add(1) + 1 != n) return;
    MarkFault();
    action();
  });
}

::testing::AssertionResult FaultRun::PresenterResponds() {
  const auto started = std::chrono::steady_clock::now();
  rig.OnPresenter([] {});
  const auto took = std::chrono::steady_clock::now() - started;
  if (took < std::chrono::seconds(1)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the presenter thread took "
                                       << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                                       << " ms to handle a call";
}

void FaultRun::ExpectFailedApplicationRun(uint64_t budgetMs) {
  const uint64_t endMs = rig.view.PostedAtMs(ViewMessageKind::UpdateFinished);
  EXPECT_NE(faultMs_.load(), 0u) << "the test did not note the time of its fault";
  RecordProperty("faultToEndMs", std::to_string(endMs - faultMs_.load()));
  constexpr uint64_t kSchedulingSlackRealMs = 100;
  EXPECT_LE(endMs - faultMs_.load(), budgetMs + scale_ * kSchedulingSlackRealMs)
      << "program ms from the fault to the end of the run";
  EXPECT_TRUE(StatusesInOrder({texts::kFirmwareUpdating, texts::kFirmwareUpdateFailed}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.view.RowMarks(),
            (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}}));
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.ButtonsEnabled() && rig.view.ListEnabled());
  // The operator's log holds the failed run.
  const std::string log = LogText();
  EXPECT_NE(log.find("BOOTLOAD_SEND_BLOCK"), std::string::npos);
  EXPECT_NE(log.find("\r\nFirmware Update Failed!\r\n"), std::string::npos);
}

void FaultRun::ExpectLinkLossTold(const std::string& loss) {
  EXPECT_NE(LogText().find("\r\n" + loss + "\r\n"), std::string::npos);
  EXPECT_EQ(rig.view.Notices(), std::vector<std::string>{"The link to the reader was lost during the transfer. " + loss});
}

void FaultRun::ExpectSecondUpdateSucceeds(const std::string& path) {
  ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.engine->ready() && !rig.engine->UpdateRunning(); }))
      << "the reader was not found again; last status: " << rig.engine->statusText();
  reader->SetTraceListener(nullptr);
  RunUpdate({0});
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_TRUE(rig.engine->firmwareOk());
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  EXPECT_NE(LogText().find("\r\nBootload Succeeded! \r\n"), std::string::npos);
}

int FaultRun::ReceivedBlocks() const {
  int count = 0;
  for (const auto& frame : reader->ReceivedFrames()) count += IsBlockRequest(frame) ? 1 : 0;
  return count;
}

}  // namespace orvane::test
