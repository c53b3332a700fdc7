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

// True for a block command of a module-file load in either framing.
bool IsBlockRequest(const std::vector<uint8_t>& frame);

class FaultRun : public WholeUpdate {
 protected:
  explicit FaultRun(uint32_t scale = 100) : WholeUpdate(scale) {}
  ~FaultRun() override;

  // An application module "app.fm" of `blocks` blocks in row 0; its path.
  std::string AddApplication(uint16_t blocks, bool pci = true);

  // Calls `action` (on the thread that hands the reader its requests) when
  // the reader receives its `n`-th block command, counted from now.
  void OnBlockRequest(int n, std::function<void()> action);

  // The presenter thread handles a call within a second of real time.
  ::testing::AssertionResult PresenterResponds();

  // The run failed at its only application module: the status and the marks
  // the operator sees.
  void ExpectFailedApplicationRun();
  // After the run: the reader is found again and a second update of row 0
  // loads the whole file.
  void ExpectSecondUpdateSucceeds(const std::string& path);

  int ReceivedBlocks() const;

  std::atomic<int> blocksSeen_{0};
};

}  // namespace orvane::test
