// The engine with a recording view and no reader: the detection and the
// re-detection after a reboot, the Update button's selection, and the view's
// message handlers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/clock.h"
#include "update/engine_rig.h"

namespace orvane::test {
namespace {

TEST(Detection, LocalInterfaceRetriesEvery200MsUntilTheChoiceChanges) {
  ManualClock clock;
  ScopedClock scoped(clock);
  EngineRig rig;
  rig.Build();

  rig.OnPresenter([&] { rig.engine->StartDetection(); });
  EXPECT_TRUE(rig.view.State().blinking);
  EXPECT_FALSE(rig.view.State().buttons);
  ASSERT_TRUE(rig.view.WaitUntil([&] { return clock.Waits().size() >= 5; }));

  g_nInterfaceKind.store(static_cast<InterfaceKind>(7));
  ASSERT_TRUE(rig.view.WaitUntil([&] { return !rig.engine->WorkersRunning(); }));
  const std::vector<uint32_t> waits = clock.Waits();
  for (uint32_t wait : waits) EXPECT_EQ(wait, kDetectionRetryMs);
  // One connect attempt before each pause, and one more before the last check.
  EXPECT_EQ(rig.portListings.load(), static_cast<int>(waits.size()));
  EXPECT_FALSE(rig.view.State().blinking);
  EXPECT_FALSE(rig.engine->ready());
  // A detection started under an interface of no known kind ends at once.
  rig.OnPresenter([&] { rig.engine->StartDetection(); });
  EXPECT_TRUE(rig.view.WaitUntil([&] { return !rig.engine->WorkersRunning(); }));
}

TEST(Detection, RedetectReaderGivesUpAfterSixQuickAndSixteenSlowAttempts) {
  ManualClock clock;
  ScopedClock scoped(clock);
  EngineRig rig;
  // What the screen showed when each attempt began.
  std::vector<std::string> statusAtAttempt;
  std::vector<std::vector<std::string>> transfersAtAttempt;
  rig.onPortListing = [&] {
    statusAtAttempt.push_back(rig.engine->statusText());
    transfersAtAttempt.push_back(rig.view.Args("TransferToControls"));
  };
  rig.Build();

  std::string text = "stale";
  bool notFound = false;
  const bool found = rig.engine->RedetectReader(text, notFound, false);

  EXPECT_FALSE(found);
  EXPECT_TRUE(notFound);
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(statusAtAttempt.size(), 22u);
  EXPECT_THAT(std::vector(statusAtAttempt.begin(), statusAtAttempt.begin() + 6),
              ::testing::Each(::testing::Ne(texts::kDetectingDevice)));
  EXPECT_THAT(std::vector(statusAtAttempt.begin() + 6, statusAtAttempt.end()),
              ::testing::Each(texts::kDetectingDevice));
  // The refresh before the seventh attempt is sent, not posted: it was on the
  // screen before that attempt began.
  ASSERT_FALSE(transfersAtAttempt[6].empty());
  EXPECT_EQ(transfersAtAttempt[6].back(), std::string(texts::kDetectingDevice) + " !");
  EXPECT_EQ(clock.Waits(), std::vector<uint32_t>(16, kRedetectSlowPauseMs));
  EXPECT_EQ(clock.TickMs(), 16000u);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_TRUE(rig.view.WaitForDelivered(ViewRefresh::Controls, 2));
}

// Rows: 0 app_main.fm, 1 z_bootloader.fm (application folder, sorted by name),
// 2 app_ct_l2.fm, 3 app_nfcrd_l2_amex.fm (kernel folder), 4 pay.fm (UniApp folder).
void MakeModules(EngineRig& rig) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_main.fm", AppModuleSpec(true)));
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "z_bootloader.fm", AppModuleSpec(true)));
  ASSERT_TRUE(AddRawModule(rig.folder.path(), kKernelFolderName, "app_ct_l2.fm", 3000, 1));
  ASSERT_TRUE(AddRawModule(rig.folder.path(), kKernelFolderName, "app_nfcrd_l2_amex.fm", 2048, 1));
  ASSERT_TRUE(AddRawModule(rig.folder.path(), kUniAppFolderName, "pay.fm", 1500, 2));
  rig.Build();
  rig.OnPresenter([&] { rig.engine->InitFirmwareFolders(rig.folder.path()); });
  ASSERT_EQ(rig.view.CountCalls("InsertRow"), 5);
}

TEST(Selection, ConfirmationTextListsEveryTickedModuleByKind) {
  ManualClock clock;
  ScopedClock scoped(clock);
  EngineRig rig;
  MakeModules(rig);
  for (int row : {0, 1, 3, 4}) rig.view.TickRow(row);
  std::string text;
  rig.OnPresenter([&] { EXPECT_TRUE(rig.engine->CollectSelection(text)); });
  EXPECT_EQ(text,
            "Bootloader file list:\r\n\tz_bootloader.fm\r\n"
            "App file list:\r\n\tapp_main.fm\r\n"
            "Kernel file list:\r\n\tapp_nfcrd_l2_amex.fm\r\n"
            "\r\nUni-App file list:\r\n\tpay.fm\r\n");
  ASSERT_EQ(rig.engine->KernelList().size(), 1u);
  EXPECT_EQ(rig.engine->KernelList()[0].kind, ModuleKind::NfcAmex);

  // A kernel module alone, without a reader: the run ends after the re-detection.
  for (int row : {0, 1, 3, 4}) rig.view.TickRow(row, false);
  rig.view.TickRow(2);
  // No presence monitor has ever run: stopping it must not wait for one.
  rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.view.Delivered(ViewMessageKind::UpdateFinished) > 0; }));
  EXPECT_EQ(clock.Waits().front(), kMonitorStopStepMs);
  EXPECT_EQ(rig.engine->statusText(), texts::kReconnectFailed);
}

// Messages out of turn: a blink tick after the reader became ready, a finish
// that no run posted, a model-box refresh and a refresh number no refresh has.
TEST(ViewMessages, LateAndStrayMessagesLeaveTheViewAsItWas) {
  EngineRig rig;
  rig.Build();
  rig.engine->SetDeviceReady(true);
  rig.engine->EnableInputs(false);
  g_bModelVariant.store(true);
  rig.OnPresenter([&] {
    rig.engine->BlinkStatus();
    rig.engine->HandleUpdateFinished();
    rig.engine->HandleViewRefresh(ViewRefresh::ModelBox);
    rig.engine->HandleViewRefresh(static_cast<ViewRefresh>(9));
  });
  g_bModelVariant.store(false);
  EXPECT_EQ(rig.view.CountCalls("WriteStatusLine"), 0);  // no "Device Not Ready" over a ready reader
  EXPECT_EQ(rig.engine->statusText(), texts::kDeviceReady);
  EXPECT_EQ(rig.engine->Snapshot().statusColour, kStatusGreen);
  EXPECT_TRUE(rig.view.InputsEnabled());
  EXPECT_TRUE(rig.view.RunResults().empty());
  EXPECT_TRUE(rig.view.State().modelBox);
  EXPECT_EQ(rig.view.CountCalls("TransferToControls"), 0);
  // A start posted before a run began must not reach the reader during it.
  rig.OnPresenter([&] {
    rig.engine->StartFirmwareUpdate();  // nothing ticked: under way until its finish arrives
    rig.engine->HandleViewRefresh(ViewRefresh::StartMonitor);
    rig.engine->HandleViewRefresh(ViewRefresh::RestartDetection);
    EXPECT_FALSE(rig.engine->monitorRunFlag());
  });
}

}  // namespace
}  // namespace orvane::test
