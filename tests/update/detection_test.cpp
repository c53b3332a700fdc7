// Finding the reader: the detection thread, the presence monitor and the
// re-detection after a reboot.

#include <gtest/gtest.h>

#include <chrono>

#include "app/clock.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/simulated_reader.h"
#include "support/test_certificate.h"
#include "update/engine_rig.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;

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
}

TEST(Detection, RedetectReaderGivesUpAfterSixQuickAndSixteenSlowAttempts) {
  ManualClock clock;
  ScopedClock scoped(clock);
  EngineRig rig;
  // What the screen showed when each attempt began.
  std::vector<std::string> statusAtAttempt;
  std::vector<size_t> transfersAtAttempt;
  rig.onPortListing = [&] {
    statusAtAttempt.push_back(rig.engine->statusText());
    transfersAtAttempt.push_back(rig.view.Transfers().size());
  };
  rig.Build();

  std::string text = "stale";
  bool notFound = false;
  const bool found = rig.engine->RedetectReader(text, notFound, false);

  EXPECT_FALSE(found);
  EXPECT_TRUE(notFound);
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(statusAtAttempt.size(), 22u);
  for (int attempt = 0; attempt < 22; ++attempt) {
    SCOPED_TRACE(attempt + 1);
    EXPECT_EQ(statusAtAttempt[attempt] == texts::kDetectingDevice, attempt >= 6);
  }
  // The refresh before the seventh attempt is sent, not posted: it was on the
  // screen before that attempt began.
  const std::vector<ViewSnapshot> transfers = rig.view.Transfers();
  ASSERT_GE(transfersAtAttempt[6], 1u);
  EXPECT_EQ(transfers[transfersAtAttempt[6] - 1].statusText, texts::kDetectingDevice);
  EXPECT_TRUE(transfers[transfersAtAttempt[6] - 1].attention);
  EXPECT_EQ(clock.Waits(), std::vector<uint32_t>(16, kRedetectSlowPauseMs));
  EXPECT_EQ(clock.TickMs(), 16000u);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_TRUE(rig.view.WaitForDelivered(ViewRefresh::Controls, 2));
}

TEST(Detection, UnpluggedReaderIsNoticedAndDetectionStartsAgain) {
  ScaledClock clock(100);
  ScopedClock scoped(clock);
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  sim::SimulatedReader reader(options);
  auto device = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId);
  sim::SimHidDevice runner(reader, device);
  EngineRig rig;
  rig.hidBackend.AddDevice(device);
  ASSERT_TRUE(runner.Start());
  rig.Build();

  rig.OnPresenter([&] { rig.engine->StartDetection(); });
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  // The monitor keeps asking while the reader is there.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::ControlsAgain, 3));
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_EQ(rig.view.Delivered(ViewMessageKind::Refresh, ViewRefresh::RestartDetection), 0);

  const uint64_t unpluggedAt = TickMs();
  device->SetPresent(false);
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::RestartDetection));
  EXPECT_GE(TickMs() - unpluggedAt, kMonitorGoneMs);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_FALSE(rig.view.State().readyPicture);
  EXPECT_EQ(rig.engine->deviceInfoText(), texts::kDeviceNotConnected);
  EXPECT_TRUE(rig.view.State().blinking);
  EXPECT_FALSE(rig.view.State().buttons);
  EXPECT_TRUE(rig.view.WaitUntil([&] { return rig.engine->monitorStoppedFlag(); }));

  // Plugged in again: found by the restarted detection, watched again.
  device->SetPresent(true);
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor, 2));
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_FALSE(rig.view.State().blinking);
}

TEST(Detection, ShutdownEndsAWaitForATlsClientAtOnce) {
  // The real clock: the server's start-up pauses and its accept must give way.
  EngineRig rig;
  ASSERT_TRUE(WriteTestCertificate(rig.folder.path()));
  rig.settings.tlsServerPort = 0;
  rig.Build();
  rig.OnPresenter([&] {
    rig.engine->ApplyInterfaceChoice(InterfaceTlsServer);
    rig.engine->StartDetection();
  });
  EXPECT_EQ(g_nInterfaceKind.load(), InterfaceTlsServer);
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::Controls));
  EXPECT_EQ(rig.engine->statusText(), texts::kWaitTlsClient);
  std::this_thread::sleep_for(50ms);

  const auto started = std::chrono::steady_clock::now();
  rig.view.ShutdownEngine();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1000ms);
  EXPECT_FALSE(rig.engine->WorkersRunning());
}

TEST(Detection, CancelledInterfaceDialogKeepsTheLocalInterfaces) {
  EngineRig rig;
  rig.settings.tcpServerPort = 5000;
  rig.Build();
  rig.OnPresenter([&] { rig.engine->ApplyInterfaceChoice(std::nullopt); });
  EXPECT_EQ(g_nInterfaceKind.load(), InterfaceUsbSerial);
  EXPECT_FALSE(rig.view.State().portBox);
  EXPECT_EQ(rig.engine->serverPort(), kDefaultServerPort);
  EXPECT_EQ(rig.view.CountCalls("ShowPortBox"), 0);
}

}  // namespace
}  // namespace orvane::test
