// A reader that does not come back in time after the reboot into its
// bootloader, and turns up again later.

#include <atomic>

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

// At the usual scale the two minutes of waiting for the reader take 1.2 s; a
// faster clock leaves the simulated reader too little real time on a busy machine.
using LateReader = FaultRun;

TEST_F(LateReader, RunGivesUpAndTheReaderIsUpdatedWhenItReturns) {
  const std::string path = AddApp("app.fm", 3);
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Stx;
  // Back, but too late for this run.
  options.rebootDelayMs = kReconnectGiveUpMs + 150000;
  // Two speeds make each attempt on the silent line long enough that a whole
  // round of them runs far past the give-up time.
  rig.settings.baudRateList = {115200, 57600};
  StartReader(Link::Serial, options);
  Detect();
  std::atomic<uint64_t> enteredAt = 0;
  std::atomic<uint64_t> gaveUpAt = 0;
  rig.view.SetStatusHook([&](const std::string& status) {
    if (status == texts::kBootloadEnterOkay) enteredAt = TickMs();
    if (status == texts::kFailedToFindDevice) gaveUpAt = TickMs();
  });
  PressUpdate({0});
  ASSERT_TRUE(rig.view.WaitUntil([&] { return reader->Reboots() > 0; }));
  EXPECT_TRUE(PresenterResponds());
  ASSERT_TRUE(WaitForRunEnd());

  EXPECT_TRUE(StatusesInOrder({texts::kBootloadEnterOkay, texts::kFailedToFindDevice, texts::kFirmwareUpdateFailed}));
  // Two minutes, and at most one attempt on the silent line more: not a whole
  // round of re-detection attempts, which takes about two minutes of its own.
  EXPECT_GE(gaveUpAt - enteredAt, kReconnectGiveUpMs);
  EXPECT_LT(gaveUpAt - enteredAt, kReconnectGiveUpMs + 15000);
  rig.view.SetStatusHook(nullptr);
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowNotReplug, kRowRed}}));
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_EQ(ReceivedBlocks(), 0);
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.InputsEnabled());
  ExpectSecondUpdateSucceeds(path);
}

}  // namespace
}  // namespace orvane::test
