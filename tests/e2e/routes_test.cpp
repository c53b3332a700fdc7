// Whole runs over the special routes into the bootloader: pass-through mode
// of the "4710" model and the keyboard interface.

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

int CountStxBlocks(const std::vector<std::vector<uint8_t>>& frames) {
  int count = 0;
  for (const auto& frame : frames) {
    if (frame.size() > 4 && frame[0] == kStx && frame[3] == 'B') ++count;
  }
  return count;
}

int CountPassThrough(const std::vector<std::vector<uint8_t>>& frames, uint8_t on) {
  int count = 0;
  for (const auto& frame : frames) {
    auto header = HeaderCommandOf(frame);
    if (header && header->first == 0x63 && header->second == 0x02 && frame.size() > 14 && frame[14] == on) ++count;
  }
  return count;
}

TEST_F(WholeUpdate, PassThroughRouteForTheModelWithTheBoxTicked) {
  AddApp("app_a.fm", 3);
  AddApp("app_b.fm", 2);
  sim::ReaderOptions options;
  options.applicationVersion = "Orvane 4710 APP V2.00.020";
  StartReader(Link::Serial, options);
  Detect();
  EXPECT_TRUE(g_bModelVariant.load());
  EXPECT_TRUE(rig.view.State().modelBox);
  rig.OnPresenter([&] { rig.engine->OnModelBox(true); });
  RunUpdate({0, 1});

  const auto frames = reader->ReceivedFrames();
  // The first module goes through pass-through mode as STX blocks (2 + 3 + 1
  // sections) and leaves the mode afterwards.
  EXPECT_EQ(CountPassThrough(frames, 1), 1);
  EXPECT_EQ(CountPassThrough(frames, 0), 1);
  EXPECT_EQ(CountStxBlocks(frames), 6);
  // The bootloader's version text does not name the model, so the second
  // module takes the direct route: the reader runs its bootloader already and
  // gets header blocks (2 + 2 + 1 sections).
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x43), 5);
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 0);
  EXPECT_FALSE(g_bModelVariant.load());
  EXPECT_EQ(MarkTexts(0), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(MarkTexts(1), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  // The first module's pass-through line reaches the log with the second module's write.
  EXPECT_TRUE(LogHas("Exit Pass-Through mode success.\r\n[Time Last:"));
}

TEST_F(WholeUpdate, RefusedKeyboardEntryEndsLikeANormalRun) {
  AddApp("app.fm", 3);
  sim::ReaderOptions options;
  options.keyboardInterface = true;
  StartReader(Link::Hid, options);
  Detect();
  hidDevice->SetFailNextFeatureSets(1000);
  RunUpdate({0});

  EXPECT_EQ(rig.view.Args("ShowMessageBox"),
            std::vector<std::string>{std::string(texts::kFailedMessage) + "|" + texts::kEnterBootloadCaption});
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.InputsEnabled());
  // The reader is still there: the presence monitor watches it again.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  EXPECT_TRUE(rig.view.WaitUntil([&] { return rig.engine->WorkersRunning(); }));
  EXPECT_TRUE(rig.engine->monitorRunFlag());
}

}  // namespace
}  // namespace orvane::test
