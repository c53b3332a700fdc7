// A reader that takes its time over one block: just under the time the tool
// waits for an answer, and just over it.

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

struct SlowCase {
  Link link;
  uint32_t waitMs;  // how long one exchange waits for its answer on this link
};

// TLS: one read of 5 s. TCP: 25 polls of up to 5 s each. Serial: 25 reads of
// up to 2.5 s each.
const SlowCase kSlowCases[] = {{Link::Tls, 5000}, {Link::Tcp, 25 * 5010}, {Link::Serial, 25 * 2510}};

class SlowBlock : public FaultRun, public ::testing::WithParamInterface<SlowCase> {
 protected:
  // Half the TLS wait is 25 real ms on the usual clock: too little for a busy
  // machine to keep the late answer inside the window it is meant for.
  SlowBlock() : FaultRun(GetParam().link == Link::Tls ? 20 : 100) {}

  // Late by one and a half waits: after the first send's wait has ended,
  // well inside the resend's, whichever of the two runs late on a busy machine.
  static uint32_t OverTheWait() { return GetParam().waitMs * 3 / 2; }

  // Data block 1 (the 4th block command) is answered `delayMs` late.
  void SlowFourthBlock(uint32_t delayMs) {
    OnBlockRequest(4, [delayMs] { SleepMs(delayMs); });
  }

  sim::ReaderOptions Reader() const {
    return InBootloader(GetParam().link == Link::Serial ? FrameProtocol::Stx : FrameProtocol::Header);
  }
};

// Over the time the tool waits: the block is sent again, both answers are
// taken for it, and the run loads the module whole.
TEST_P(SlowBlock, OverTheTimeOutSendsTheBlockAgainAndTakesBothAnswers) {
  const std::string path = AddApp("app.fm", 5);
  StartReader(GetParam().link, Reader());
  Detect();
  SlowFourthBlock(OverTheWait());
  PressUpdate({0});
  EXPECT_TRUE(PresenterResponds());
  ASSERT_TRUE(WaitForRunEnd());

  EXPECT_TRUE(LogHas("NO RESP.")) << "the slow block was sent again";
  // A serial line hands both answers over in one read; the others one at a time.
  if (GetParam().link != Link::Serial) {
    EXPECT_TRUE(LogHas("BOOTLOAD_SEND_BLOCK (second answer):"));
  }
  EXPECT_EQ(ReceivedBlocks(), 9);
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  ExpectSecondUpdateSucceeds(path);
}

// The late answer must not be taken for the answer to a later command: the
// trailer (position 8 of a 5-block module), which the reader refuses, has to
// fail the module although every earlier answer was an acceptance.
TEST_P(SlowBlock, LateAnswerIsNotTakenForTheAnswerToALaterCommand) {
  AddApp("app.fm", 5);
  sim::ReaderOptions options = Reader();
  options.blockFaults = {sim::BlockFault{8, sim::FaultKind::Refuse, 0x000A, true}};
  StartReader(GetParam().link, options);
  Detect();
  SlowFourthBlock(OverTheWait());
  RunUpdate({0});

  EXPECT_TRUE(LogHas("NO RESP.")) << "the slow block was sent again";
  // From the slow block: its late answer, then the refused trailer at once.
  ExpectFailedApplicationRun(OverTheWait() + kFailureToEndMs);
  // A module of 4 blocks has no position 8, so the reader refuses nothing.
  ExpectSecondUpdateSucceeds(AddApp("app.fm", 4));
}

INSTANTIATE_TEST_SUITE_P(Links, SlowBlock, ::testing::ValuesIn(kSlowCases),
                         [](const auto& info) { return std::string(LinkName(info.param.link)); });

}  // namespace
}  // namespace orvane::test
