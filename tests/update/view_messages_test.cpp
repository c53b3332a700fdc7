// The view's message handlers, the progress display and the device information.

#include <gtest/gtest.h>

#include "update/engine_rig.h"

namespace orvane::test {
namespace {

TEST(ViewMessages, AStartPostedBeforeARunBeganDoesNotReachTheReaderDuringIt) {
  EngineRig rig;
  rig.Build();
  rig.OnPresenter([&] {
    rig.engine->StartFirmwareUpdate();  // nothing ticked: the run is under way until its finish arrives
    ASSERT_TRUE(rig.engine->busy());
    rig.engine->HandleViewRefresh(ViewRefresh::StartMonitor);
    rig.engine->HandleViewRefresh(ViewRefresh::RestartDetection);
    EXPECT_FALSE(rig.engine->monitorRunFlag());
  });
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
}

// Progress of block transfers: whole percentages, cut down; a repeated one is
// not redrawn; a transfer without pieces shows nothing.
TEST(ViewMessages, ProgressShowsTruncatedPercentagesAndRedrawsOnlyOnChange) {
  EngineRig rig;
  rig.Build();
  for (auto [done, total] : {std::pair{0, 0}, {1, 0}, {1, -4}}) rig.engine->OnProgress(done, total);
  EXPECT_EQ(rig.view.AllCalls(), 0u);

  for (auto [done, total] : {std::pair{1, 3}, {2, 3}, {2, 3}, {50, 200}, {200, 200}}) {
    rig.engine->OnProgress(done, total);
  }
  const int row = rig.engine->currentListRow();
  EXPECT_EQ(rig.view.Percents(),
            (std::vector<std::pair<int, int>>{{row, 33}, {row, 66}, {row, 66}, {row, 25}, {row, 100}}));
  EXPECT_EQ(rig.view.CountCalls("RedrawRowProgress"), 4);
  EXPECT_EQ(rig.view.CountCalls("StopRowProgress"), 1);  // only 200 of 200 ends the display
  EXPECT_EQ(rig.view.CountCalls("EnsureRowVisible"), 5);
}

// The device information with the resume switched off, and from an
// application that does not answer the version query.
TEST(ViewMessages, DeviceInformationLeavesOutWhatItDoesNotHave) {
  EngineRig rig;
  rig.settings.enableInterruptPointReserve = 0;
  rig.Build();
  DeviceInfo info;
  info.bootloaderMode = true;
  info.versionText = "Bootloader FW V1.05";
  info.stopPackage = 40;
  rig.channel().setDeviceInfo(info);
  rig.engine->SetDeviceReady(true);
  rig.engine->RefreshDeviceInfo();
  EXPECT_EQ(rig.engine->deviceInfoText(), "Bootloader Mode, Version Info: Bootloader FW V1.05 \r\nType: NONPCI. ");
  rig.channel().setDeviceInfo(DeviceInfo{});
  rig.engine->RefreshDeviceInfo();
  EXPECT_EQ(rig.engine->deviceInfoText(), "Application Mode, Version Info:  ");
}

}  // namespace
}  // namespace orvane::test
