// The Update button: gathering the ticked rows, the confirmation text and
// the start of a run.

#include <gtest/gtest.h>

#include "app/clock.h"
#include "update/engine_rig.h"

namespace orvane::test {
namespace {

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
  // A second press rebuilds the lists from the rows ticked now.
  rig.view.TickRow(0, false);
  rig.view.TickRow(1, false);
  rig.OnPresenter([&] { EXPECT_TRUE(rig.engine->CollectSelection(text)); });
  EXPECT_TRUE(rig.engine->BootList().empty());
  EXPECT_TRUE(rig.engine->AppList().empty());
}

TEST(Selection, NothingTickedOrACancelledConfirmationStartsNothing) {
  EngineRig rig;
  MakeModules(rig);
  rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  EXPECT_EQ(rig.view.Args("ShowMessageBox"), std::vector<std::string>{std::string(texts::kSelectFileMessage) + "|"});
  EXPECT_EQ(rig.view.CountCalls("ConfirmFileSelection"), 0);

  rig.view.TickRow(2);
  rig.view.SetConfirmAnswer(false);
  rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  EXPECT_EQ(rig.view.CountCalls("ConfirmFileSelection"), 1);
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_FALSE(rig.engine->WorkersRunning());
  EXPECT_EQ(rig.engine->KernelList().size(), 1u);  // the lists stay as built
}

TEST(Selection, SingleKernelFileGoesStraightToTheKernelStage) {
  ManualClock clock;
  ScopedClock scoped(clock);
  EngineRig rig;
  MakeModules(rig);
  rig.view.TickRow(2);
  // No presence monitor has ever run: stopping it must not wait for one.
  rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  EXPECT_EQ(rig.view.Args("ConfirmFileSelection"), std::vector<std::string>{"Bootloader file list:\r\n\tNone\r\n"
                                                                            "App file list:\r\n\tNone\r\n"
                                                                            "Kernel file list:\r\n\tapp_ct_l2.fm\r\n"
                                                                            "\r\nUni-App file list:\r\n\tNone"});
  // Without a reader the kernel stage ends after its re-detection.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewMessageKind::UpdateFinished));
  const std::vector<std::string> statuses = rig.view.Args("StatusTextChanged");
  EXPECT_EQ(statuses.front(), texts::kKernelUpdating);
  EXPECT_EQ(statuses.back(), texts::kReconnectFailed);
  for (const std::string& status : statuses) EXPECT_EQ(status.find("Firmware"), std::string::npos) << status;
  EXPECT_EQ(clock.Waits().front(), kMonitorStopStepMs);
  EXPECT_FALSE(rig.engine->busy());
  // The monitor started at the end finds no reader and hands over to the
  // detection, which keeps the buttons off until a reader turns up.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::RestartDetection));
  EXPECT_TRUE(rig.view.State().blinking);
  EXPECT_TRUE(!rig.view.State().buttons && rig.view.State().list);
  EXPECT_EQ(rig.view.CountCalls("ShowRowOutcome"), 0);
}

}  // namespace
}  // namespace orvane::test
