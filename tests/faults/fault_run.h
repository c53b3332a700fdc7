#pragma once
// Whole update runs against the simulated reader with a fault put in their
// way: the engine with its real transports and a recording view, the reader
// on one of its links (TCP server, TLS client, pseudo-terminal or the
// in-memory HID device), pauses on the scaled clock. After the fault every
// test checks what the operator sees, that the program still answers, and
// that a second update right after it succeeds without a restart.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "e2e/whole_update.h"

namespace orvane::test {

// From a failure to the end of the run: the wait that sees it (about 2 s at
// most, a lost link at once) and the pause after a module.
inline constexpr uint64_t kFailureToEndMs = 2000 + kAfterModuleMs;

// Runs whose failure time is measured: a slower clock, so that the real time
// the machine needs for its work weighs less in program time.
inline constexpr uint32_t kTimedClockScale = 10;

// True for a block command of a module-file load in either framing.
inline bool IsBlockRequest(const std::vector<uint8_t>& frame) {
  return HeaderCommandOf(frame) == std::pair<uint8_t, uint8_t>{0xC7, 0x43} ||
         (frame.size() > kStxOverhead && frame[0] == kStx && frame[3] == 0x42);
}

inline size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class FaultRun : public WholeUpdate {
 protected:
  explicit FaultRun(uint32_t scale = 100) : WholeUpdate(scale), scale_(scale) {}
  // The listener may run on a runner's thread until the runners stop.
  ~FaultRun() override {
    if (reader) reader->SetTraceListener(nullptr);
  }

  // Calls `action` (on the thread that hands the reader its requests) when
  // the reader receives its `n`-th block command, counted from now; the
  // fault's time is noted then.
  void OnBlockRequest(
      int n, std::function<void()> action = [] {}) {
    blocksSeen_.store(0);
    reader->SetTraceListener([this, n, action = std::move(action)](const sim::TraceEntry& entry) {
      if (entry.direction != sim::TraceEntry::Direction::Received || !IsBlockRequest(entry.bytes)) return;
      if (blocksSeen_.fetch_add(1) + 1 != n) return;
      MarkFault();
      action();
    });
  }
  // Notes the program time of the fault (when it is not a block request's).
  void MarkFault() { faultMs_.store(TickMs()); }

  // The presenter thread handles a call within a second of real time.
  ::testing::AssertionResult PresenterResponds() {
    const auto started = std::chrono::steady_clock::now();
    rig.OnPresenter([] {});
    const auto tookMs = (std::chrono::steady_clock::now() - started) / std::chrono::milliseconds(1);
    if (tookMs < 1000) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the presenter thread took " << tookMs << " ms to handle a call";
  }

  // The run failed at its only application module: the status and the marks
  // the operator sees, and the run's end came within `budgetMs` of program
  // time after the fault (plus 100 real ms for a busy machine's scheduling).
  void ExpectFailedApplicationRun(uint64_t budgetMs) {
    const uint64_t endMs = rig.view.PostedAtMs(ViewMessageKind::UpdateFinished);
    EXPECT_NE(faultMs_.load(), 0u) << "the test did not note the time of its fault";
    RecordProperty("faultToEndMs", std::to_string(endMs - faultMs_.load()));
    EXPECT_LE(endMs - faultMs_.load(), budgetMs + scale_ * 100) << "program ms from the fault to the end of the run";
    EXPECT_TRUE(StatusesInOrder({texts::kFirmwareUpdating, texts::kFirmwareUpdateFailed}));
    EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateFailed);
    EXPECT_TRUE(rig.engine->attention());
    EXPECT_FALSE(rig.engine->firmwareOk());
    EXPECT_EQ(rig.view.RowMarks(),
              (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}}));
    EXPECT_FALSE(rig.engine->busy());
    EXPECT_TRUE(rig.view.InputsEnabled());
    // The operator's log holds the failed run.
    EXPECT_TRUE(LogHas("BOOTLOAD_SEND_BLOCK"));
    EXPECT_TRUE(LogHas("\r\nFirmware Update Failed!\r\n"));
  }
  // The operator was told in words that the link was lost: in the log and
  // once as a notice.
  void ExpectLinkLossTold(const std::string& loss) {
    EXPECT_TRUE(LogHas("\r\n" + loss + "\r\n"));
    EXPECT_EQ(rig.view.Args("ShowNotice"),
              std::vector<std::string>{"The link to the reader was lost during the transfer. " + loss});
  }
  // After the run: the reader is found again and a second update of row 0
  // loads the whole file; the log holds this run alone.
  void ExpectSecondUpdateSucceeds(const std::string& path) {
    ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.engine->ready() && !rig.engine->UpdateRunning(); }))
        << "the reader was not found again; last status: " << rig.engine->statusText();
    reader->SetTraceListener(nullptr);
    RunUpdate({0});
    EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
    EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
    EXPECT_TRUE(rig.engine->firmwareOk());
    EXPECT_FALSE(rig.engine->attention());
    EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
    EXPECT_EQ(Occurrences(LogText(), "\r\nBootload Succeeded! \r\n"), 1u);
    EXPECT_FALSE(LogHas("Failed"));
  }

  int ReceivedBlocks() const {
    const auto frames = reader->ReceivedFrames();
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), IsBlockRequest));
  }

  std::atomic<int> blocksSeen_{0};
  std::atomic<uint64_t> faultMs_{0};
  const uint32_t scale_;
};

}  // namespace orvane::test
