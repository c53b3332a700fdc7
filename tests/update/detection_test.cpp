// Finding the reader: the detection thread, the presence monitor and the
// re-detection after a reboot.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "app/clock.h"
#include "support/test_certificate.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/sim_tcp_server.h"
#include "reader-sim/simulated_reader.h"
#include "update/engine_rig.h"
#include "update/update_texts.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;

// A reader on the in-memory HID backend, found by the rig's configured identity.
struct HidReader {
  explicit HidReader(sim::ReaderOptions options)
      : reader(std::move(options)), device(std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId)) {}
  void PlugInto(EngineRig& rig) {
    rig.hidBackend.AddDevice(device);
    ASSERT_TRUE(runner.Start());
  }
  sim::SimulatedReader reader;
  std::shared_ptr<FakeHidDevice> device;
  sim::SimHidDevice runner{reader, device};
};

sim::ReaderOptions HeaderReader(std::string version = "Orvane APP V2.00.020") {
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  options.applicationVersion = std::move(version);
  return options;
}

TEST(Detection, LocalInterfaceRetriesEvery200MsUntilTheChoiceChanges) {
  ManualClock clock;
  ScopedClock scoped(clock);
  EngineRig rig;
  rig.Build();

  rig.OnPresenter([&] { rig.engine->StartDetection(); });
  EXPECT_TRUE(rig.view.StatusBlinking());
  EXPECT_FALSE(rig.view.ButtonsEnabled());
  ASSERT_TRUE(rig.view.WaitUntil([&] { return clock.Waits().size() >= 5; }));

  g_nInterfaceKind.store(static_cast<InterfaceKind>(7));
  ASSERT_TRUE(rig.view.WaitUntil([&] { return !rig.engine->WorkersRunning(); }));
  const std::vector<uint32_t> waits = clock.Waits();
  for (uint32_t wait : waits) EXPECT_EQ(wait, kDetectionRetryMs);
  // One connect attempt before each pause, and one more before the last check.
  EXPECT_EQ(rig.portListings.load(), static_cast<int>(waits.size()));
  EXPECT_FALSE(rig.view.StatusBlinking());
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

TEST(Detection, RedetectReaderFindsAReaderThatComesBack) {
  ManualClock clock;
  ScopedClock scoped(clock);
  HidReader hidReader(HeaderReader());
  EngineRig rig;
  // The reader is plugged in while the ninth attempt is being prepared.
  rig.onPortListing = [&] {
    if (rig.portListings.load() == 8) rig.hidBackend.AddDevice(hidReader.device);
  };
  ASSERT_TRUE(hidReader.runner.Start());
  rig.Build();

  std::string text;
  bool notFound = true;
  EXPECT_TRUE(rig.engine->RedetectReader(text, notFound, false));
  EXPECT_FALSE(notFound);
  EXPECT_EQ(text, "Orvane APP V2.00.020");
  // Three one-second pauses; the other waits are the HID reads of the answer.
  const std::vector<uint32_t> waits = clock.Waits();
  EXPECT_EQ(std::count(waits.begin(), waits.end(), kRedetectSlowPauseMs), 3);
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_EQ(rig.engine->statusText(), texts::kDeviceReady);
  EXPECT_EQ(rig.engine->deviceInfoText(), "Application Mode, Version Info: Orvane APP V2.00.020 ");
}

struct ModelCase {
  const char* version;
  bool modelVariant;
};

void PrintTo(const ModelCase& c, std::ostream* os) { *os << '"' << c.version << '"'; }

class ModelVariantRule : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelVariantRule, ShowsTheModelBoxOnlyForTheModelAfterTheFirstCharacter) {
  ScaledClock clock(100);
  ScopedClock scoped(clock);
  HidReader hidReader(HeaderReader(GetParam().version));
  EngineRig rig;
  hidReader.PlugInto(rig);
  rig.Build();

  rig.OnPresenter([&] { rig.engine->StartDetection(); });
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  EXPECT_EQ(g_bModelVariant.load(), GetParam().modelVariant);
  EXPECT_EQ(rig.view.ModelBoxShown(), GetParam().modelVariant);
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_FALSE(rig.view.StatusBlinking());
  EXPECT_TRUE(rig.view.ButtonsEnabled());
}

INSTANTIATE_TEST_SUITE_P(Texts, ModelVariantRule,
                         ::testing::Values(ModelCase{"Orvane 4710 APP", true}, ModelCase{"4710 Orvane APP", false},
                                           ModelCase{"x4710", true}, ModelCase{"Orvane 471 APP", false}));

TEST(Detection, UnpluggedReaderIsNoticedAndDetectionStartsAgain) {
  ScaledClock clock(100);
  ScopedClock scoped(clock);
  HidReader hidReader(HeaderReader());
  EngineRig rig;
  hidReader.PlugInto(rig);
  rig.Build();

  rig.OnPresenter([&] { rig.engine->StartDetection(); });
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  // The monitor keeps asking while the reader is there.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::ControlsAgain, 3));
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_EQ(rig.view.DeliveredCount(ViewRefresh::RestartDetection), 0);

  const uint64_t unpluggedAt = TickMs();
  hidReader.device->SetPresent(false);
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::RestartDetection));
  EXPECT_GE(TickMs() - unpluggedAt, kMonitorGoneMs);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_FALSE(rig.view.ReadyPicture());
  EXPECT_EQ(rig.engine->deviceInfoText(), texts::kDeviceNotConnected);
  EXPECT_TRUE(rig.view.StatusBlinking());
  EXPECT_FALSE(rig.view.ButtonsEnabled());
  EXPECT_TRUE(rig.view.WaitUntil([&] { return rig.engine->monitorStoppedFlag(); }));

  // Plugged in again: found by the restarted detection, watched again.
  hidReader.device->SetPresent(true);
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor, 2));
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_FALSE(rig.view.StatusBlinking());
}

TEST(Detection, TcpInterfaceWaitsForTheServerWithAttention) {
  ScaledClock clock(100);
  ScopedClock scoped(clock);
  sim::SimulatedReader reader(HeaderReader());
  sim::SimTcpServer server(reader, 0);
  ASSERT_TRUE(server.Start());
  const uint16_t port = server.Port();
  server.Stop();  // nobody listens yet

  EngineRig rig;
  rig.settings.tcpServerPort = port;
  rig.Build();
  rig.OnPresenter([&] {
    rig.engine->ApplyInterfaceChoice(InterfaceTcpClient);
    rig.engine->StartDetection();
  });
  EXPECT_TRUE(rig.view.PortBoxShown());
  EXPECT_EQ(g_nInterfaceKind.load(), InterfaceTcpClient);
  EXPECT_EQ(rig.engine->serverPort(), port);
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::Controls));
  EXPECT_EQ(rig.engine->statusText(), texts::kWaitTcpServer);
  EXPECT_TRUE(rig.engine->attention());

  sim::SimTcpServer later(reader, port);
  ASSERT_TRUE(later.Start());
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  EXPECT_TRUE(rig.engine->ready());
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_EQ(rig.engine->statusText(), texts::kDeviceReady);
  EXPECT_EQ(rig.channel().connectionKind(), ConnectionKind::TcpClient);
  rig.view.ShutdownEngine();
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
  EXPECT_FALSE(rig.view.PortBoxShown());
  EXPECT_EQ(rig.engine->serverPort(), kDefaultServerPort);
  EXPECT_EQ(rig.view.CountCalls("ShowPortBox"), 0);
}

}  // namespace
}  // namespace orvane::test
