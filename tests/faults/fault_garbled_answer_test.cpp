// Line noise corrupts the content of one answer while its framing survives.

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

// Header framing: the corrupted status reads as a refusal, the block is sent
// once more, and the module loads whole.
TEST_F(FaultRun, GarbledHeaderAnswerIsRepeatedAndTheModuleLoads) {
  const std::string path = AddApp("app.fm", 5);
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{5, sim::FaultKind::Garble}};
  StartReader(Link::Tcp, options);
  Detect();
  RunUpdate({0});

  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_EQ(ReceivedBlocks(), 9) << "data block 2 went twice";
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  EXPECT_TRUE(PresenterResponds());
  ExpectSecondUpdateSucceeds(path);
}

// STX framing: the corrupted acknowledgement ends the module with the
// position of the block named in the log.
TEST_F(FaultRun, GarbledStxAnswerFailsTheModuleAtItsPosition) {
  const std::string path = AddApp("app.fm", 5);
  sim::ReaderOptions options = InBootloader();
  options.framing = FrameProtocol::Stx;
  options.blockFaults = {sim::BlockFault{5, sim::FaultKind::Garble}};
  StartReader(Link::Serial, options);
  Detect();
  OnBlockRequest(5);
  RunUpdate({0});

  ExpectFailedApplicationRun(kFailureToEndMs);
  EXPECT_TRUE(LogHas("\r\nCommand No.5 Response Error. Bootload Failed! \r\n"));
  EXPECT_EQ(ReceivedBlocks(), 5) << "nothing after the block whose answer was garbled";
  ExpectSecondUpdateSucceeds(path);
}

}  // namespace
}  // namespace orvane::test
