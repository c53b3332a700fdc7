#pragma once
// Whole update runs against the simulated reader with a fault put in their
// way: the engine with its real transports and a recording view, the reader
// on one of its links (TCP server, TLS client, pseudo-terminal or the
// in-memory HID device), pauses on the scaled clock. After the fault every
// test checks what the operator sees, that the program still answers, and
// that a second update right after it succeeds without a restart.

#include <atomic>
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
bool IsBlockRequest(const std::vector<uint8_t>& frame);

class FaultRun : public WholeUpdate {
 protected:
  explicit FaultRun(uint32_t scale = 100) : WholeUpdate(scale), scale_(scale) {}
  ~FaultRun() override;

  // An application module "app.fm" of `blocks` blocks in row 0; its path.
  std::string AddApplication(uint16_t blocks, bool pci = true);

  // Calls `action` (on the thread that hands the reader its requests) when
  // the reader receives its `n`-th block command, counted from now; the
  // fault's time is noted then.
  void OnBlockRequest(int n, std::function<void()> action = [] {});
  // Notes the program time of the fault (when it is not a block request's).
  void MarkFault() { faultMs_.store(TickMs()); }

  // The presenter thread handles a call within a second of real time.
  ::testing::AssertionResult PresenterResponds();

  // The run failed at its only application module: the status and the marks
  // the operator sees, and the run's end came within `budgetMs` of program
  // time after the fault (plus 100 real ms for a busy machine's scheduling).
  void ExpectFailedApplicationRun(uint64_t budgetMs);
  // The operator was told in words that the link was lost: in the log and
  // once as a notice.
  void ExpectLinkLossTold(const std::string& loss);
  // After the run: the reader is found again and a second update of row 0
  // loads the whole file.
  void ExpectSecondUpdateSucceeds(const std::string& path);

  int ReceivedBlocks() const;

  std::atomic<int> blocksSeen_{0};
  std::atomic<uint64_t> faultMs_{0};
  const uint32_t scale_;
};

}  // namespace orvane::test
