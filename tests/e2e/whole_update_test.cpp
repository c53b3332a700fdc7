// Whole update runs: the first stage (bootloader and application modules),
// the kernel and UniApp stage, the final status of a run, and a shutdown in
// the middle of one.

#include "e2e/whole_update.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace orvane::test {
namespace {

sim::ReaderOptions NonPciBootloader(uint32_t stopPackage) {
  sim::ReaderOptions options = InBootloader();
  options.typeChar = '3';
  options.stopPackage = stopPackage;
  return options;
}

class FirmwareStage : public WholeUpdate, public ::testing::WithParamInterface<Link> {};

TEST_P(FirmwareStage, ApplicationModuleFromApplicationMode) {
  const std::string path = AddApp("app_main.fm", 6);
  StartReader(GetParam(), {});
  Detect();
  RunUpdate({0});

  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 1) << "one entry command";
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_TRUE(
      StatusesInOrder({texts::kToEnterBootload, texts::kBootloadEnterOkay, texts::kDeviceReady, texts::kDeviceRebooting,
                       texts::kDeviceReady, texts::kFirmwareUpdating, texts::kFirmwareUpdateSucceeded}));
  EXPECT_TRUE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.InputsEnabled());
  EXPECT_TRUE(LogHas("BOOTLOAD_SEND_BLOCK"));
  EXPECT_TRUE(LogHas("\r\nBootload Succeeded! \r\n"));
  // The time line follows the log write of its module.
  EXPECT_FALSE(LogHas("[Time Last:"));
  // The presence monitor watches the reader again.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  EXPECT_TRUE(rig.view.WaitUntil([&] { return rig.engine->WorkersRunning(); }));
}

INSTANTIATE_TEST_SUITE_P(Links, FirmwareStage, ::testing::Values(Link::Tcp, Link::Tls, Link::Serial, Link::Hid),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

// The "4710" model with its box ticked goes through pass-through mode as STX
// blocks and leaves the mode after the module; the bootloader's text does not
// name the model, so the second module takes the direct route.
TEST_F(WholeUpdate, PassThroughRouteForTheModelWithTheBoxTicked) {
  AddApp("app_a.fm", 3);
  AddApp("app_b.fm", 2);
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  options.applicationVersion = "Orvane 4710 APP V2.00.020";
  StartReader(Link::Serial, options);
  Detect();
  EXPECT_TRUE(g_bModelVariant.load());
  rig.OnPresenter([&] { rig.engine->OnModelBox(true); });
  RunUpdate({0, 1});

  int stxBlocks = 0, passThrough[2] = {0, 0};
  for (const auto& frame : reader->ReceivedFrames()) {
    if (frame.size() > 4 && frame[0] == kStx && frame[3] == 'B') ++stxBlocks;
    if (HeaderCommandOf(frame) == std::pair<uint8_t, uint8_t>{0x63, 0x02} && frame.size() > 14) {
      ++passThrough[frame[14] != 0];
    }
  }
  EXPECT_EQ(passThrough[1], 1) << "into pass-through mode once";
  EXPECT_EQ(passThrough[0], 1) << "and out of it once";
  EXPECT_EQ(stxBlocks, 6);                           // 2 + 3 + 1 sections
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x43), 5);  // 2 + 2 + 1
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 0);
  EXPECT_FALSE(g_bModelVariant.load());
  EXPECT_EQ(rig.view.RowMarks(),
            (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {1, texts::kRowCompleted, kRowBlue}}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_TRUE(LogHas("Exit Pass-Through mode success.\r\n[Time Last:"));
}

// A bench hub with a second reader of the same ids, listed first: the run is
// held to the updated reader's location (given as its node at the start),
// follows it through its reboot under a new node, and the neighbour hears nothing.
TEST_F(WholeUpdate, HeldToOneUsbLocationTheNeighbourHearsNothing) {
  const std::string path = AddApp("app_main.fm", 6);
  auto neighbour = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId);
  neighbour->SetAddress("/dev/hidraw2", "1-2.4");
  rig.hidBackend.AddDevice(neighbour);
  StartReader(Link::Hid, {});
  hidDevice->SetAddress("/dev/hidraw3", "1-2.3");
  hidDevice->ComeBackAt("/dev/hidraw7", "1-2.3");
  rig.transports.hid().RestrictToLocation("/dev/hidraw3");
  Detect();
  RunUpdate({0});

  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_EQ(rig.hidBackend.PathOf(*hidDevice), "/dev/hidraw7") << "the reader did come back under a new node";
  EXPECT_EQ(neighbour->OpenCount(), 0);
  EXPECT_TRUE(neighbour->OutputReports().empty());
  EXPECT_TRUE(neighbour->FeatureReportsSet().empty());
}

TEST_F(WholeUpdate, FailingFirstBootloaderModuleIsPutBackThreeTimesThenFails) {
  // Only the first module is long enough to reach the refused block.
  AddApp("a_bootloader.fm", 8);
  AddApp("b_bootloader.fm", 2);
  AddApp("c_bootloader.fm", 2);  // not ticked
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{9, sim::FaultKind::Refuse, 0x0A, true}};
  StartReader(Link::Serial, options);
  Detect();
  RunUpdate({0, 1});

  const std::vector<RowMark> expected = {
      {0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowSuspended, kRowBlue}, {1, texts::kRowCompleted, kRowBlue},
      {0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowSuspended, kRowBlue}, {0, texts::kRowCompleted, kRowBlue},
      {0, texts::kRowSuspended, kRowBlue}, {0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}};
  EXPECT_EQ(rig.view.RowMarks(), expected);
  EXPECT_EQ(reader->Loads().size(), 5u);
  EXPECT_EQ(rig.engine->BootList().size(), 5u);  // the put-back records stay in the list
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(LogHas("\r\nApplication Update Failed, current kernel suspended!\r\n"));
}

// A PCI bootloader module for a non-PCI reader: the run ends before the
// kernel stage and gives the controls back.
TEST_F(WholeUpdate, PciMismatchEndsTheRunWithoutTheKernelStage) {
  rig.settings.enableLog = 0;  // and no log: the early end writes none either
  AddApp("x_bootloader.fm", 2);
  AddRaw(kKernelFolderName, "app_ct_l2.fm", 1024);
  StartReader(Link::Tcp, NonPciBootloader(0));
  Detect();
  RunUpdate({0, 1});

  EXPECT_EQ(rig.engine->statusText(), texts::kPciNotMatch);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(rig.view.RowMarks().empty());
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x11), 0) << "no kernel stage";
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.InputsEnabled());
  EXPECT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
}

TEST_F(WholeUpdate, StopPackageBeyondTheFileIsAStopPointError) {
  // 2 preamble sections + 32 blocks + trailer = 35 packets; the reader says 40.
  AddApp("app.fm", 32, false);
  StartReader(Link::Serial, NonPciBootloader(40));
  Detect();
  RunUpdate({0});

  EXPECT_EQ(rig.engine->statusText(), texts::kStopPointError);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_TRUE(rig.view.RowMarks().empty());
  EXPECT_TRUE(rig.view.InputsEnabled());
}

// Also: a log that no folder takes (a folder where the log file belongs, a
// file where the fallback folder belongs) is not lost in silence.
TEST_F(WholeUpdate, InterruptedLoadContinuesFromTheStopPackage) {
  rig.settings.enableInterruptPointReserve = 1;
  std::filesystem::create_directories(PathInFolder(rig.folder.path(), kSessionLogFileName) + "/kept");
  TempDir state;
  state.Write("orvane-bootload", "not a folder");
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  AddApp("app.fm", 8, false);
  StartReader(Link::Tcp, NonPciBootloader(5));
  Detect();
  EXPECT_NE(rig.engine->deviceInfoText().find("Continue Loading From Stop Package:\t 5"), std::string::npos);
  RunUpdate({0});

  // A reader in its bootloader already gets no entry command.
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 0);
  // Preamble, blocks 5 to 7 and the trailer; blocks 0 to 4 are on the reader already.
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x43), 6);
  const auto percents = rig.view.Percents();
  ASSERT_GE(percents.size(), 3u);
  EXPECT_EQ(percents[0].second, 100 * 1 / 11);
  EXPECT_EQ(percents[1].second, 100 * 2 / 11);
  EXPECT_EQ(percents[2].second, 100 * 8 / 11);
  EXPECT_EQ(MarkTexts(0), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_TRUE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.view.Args("ShowNotice"), std::vector<std::string>{texts::kLogLost});
  ::unsetenv("XDG_STATE_HOME");
}

TEST_F(WholeUpdate, ReaderLostAfterTheRebootIsNotReplugged) {
  AddApp("app.fm", 2);
  AddRaw(kKernelFolderName, "app_ct_l2.fm", 1024);
  StartReader(Link::Hid, InBootloader());
  Detect();
  rig.view.SetStatusHook([&](const std::string& status) {
    if (status == texts::kDeviceRebooting) hidDevice->SetPresent(false);
  });
  RunUpdate({0, 1});

  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowNotReplug, kRowRed}}));
  // The application stage hands over at once; the kernel stage cannot find the reader either.
  EXPECT_TRUE(StatusesInOrder({texts::kDeviceRebooting, texts::kDetectingDevice, texts::kDeviceRebootFailed,
                               texts::kKernelUpdating, texts::kReconnectFailed}));
  EXPECT_THAT(Statuses(), ::testing::Each(::testing::AllOf(::testing::Ne(texts::kFirmwareUpdateSucceeded),
                                                           ::testing::Ne(texts::kFirmwareUpdateFailed))));
  EXPECT_EQ(rig.engine->statusText(), texts::kReconnectFailed);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_TRUE(LogHas("Failed to find the device, please check the device.\r\n"));
}

// A keyboard-interface reader that refuses the entry: the run ends as a
// normal one does, and the reader is watched again.
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

// Closing the program in the middle of a run: every thread stops within
// about a second. On the real clock, since the point is how long the program
// really takes.
// ---- the kernel and UniApp stage, and the final status of a run ----
TEST_F(WholeUpdate, KernelAndUniAppModulesWithARefusedFinishCommand) {
  AddRaw(kKernelFolderName, "app_ct_l2.fm", 2048, 7);
  AddRaw(kKernelFolderName, "app_nfcrd_l2_amex.fm", 1000, 8);
  AddRaw(kKernelFolderName, "app_payment_SDK.fm", 700, 2);  // not ticked
  AddRaw(kUniAppFolderName, "pay.fm", 3000, 9);
  AddRaw(kUniAppFolderName, "zz.fm", 300, 3);  // not ticked
  sim::ReaderOptions options = InBootloader();
  // The answer to the second chunk of the first kernel module is garbled: the
  // tool sends the chunk again and the reader keeps it twice, so the transfer
  // passes but the finish command is refused for the wrong length.
  options.blockFaults = {sim::BlockFault{2, sim::FaultKind::Garble, 0, false}};
  StartReader(Link::Tcp, options);
  Detect();
  RunUpdate({0, 1, 3});

  EXPECT_EQ(rig.view.RowMarks(0),
            (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}}));
  EXPECT_EQ(MarkTexts(1), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(MarkTexts(3), std::vector<std::string>{texts::kRowCompleted});

  const std::vector<sim::ReceivedModule> modules = reader->Modules();
  ASSERT_EQ(modules.size(), 3u);
  EXPECT_EQ(modules[0].tag, 0);
  EXPECT_FALSE(modules[0].finished);
  EXPECT_EQ(modules[1].tag, 5);
  EXPECT_TRUE(modules[1].finished);
  EXPECT_EQ(modules[1].data, BuildRawModule(1000, 8));
  // The failed kernel module did not stop the UniApp module: three chunks
  // (1024, 1024, 952), announced as 3000 bytes, stored after the busy answer.
  EXPECT_TRUE(modules[2].uniApp);
  EXPECT_EQ(modules[2].tag, 16);
  EXPECT_EQ(modules[2].announcedLength, 3000u);
  EXPECT_EQ(modules[2].data, BuildRawModule(3000, 9));
  EXPECT_TRUE(modules[2].finished);
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x46), 3);

  EXPECT_TRUE(StatusesInOrder({texts::kKernelUpdating, texts::kKernelUpdateFailed, texts::kKernelUpdating,
                               texts::kUniAppUpdating, texts::kKernelUpdating, texts::kUpdateFailed}));
  EXPECT_FALSE(rig.engine->kernelOk());
  EXPECT_TRUE(rig.engine->uniAppOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
  for (const char* line :
       {"\r\nKernel Update Failed!\r\n", "Start Kernal Update", "[Time Last:", "UniAPP_SEND_BLOCK"}) {
    EXPECT_TRUE(LogHas(line)) << line;
  }
}

// A run whose only failure is its UniApp module is a failed run.
TEST_F(WholeUpdate, RefusedUniAppModuleAloneFailsTheRun) {
  AddRaw(kUniAppFolderName, "pay.fm", 2000, 3);
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{2, sim::FaultKind::Refuse, 0x0A, true}};
  StartReader(Link::Tcp, options);
  Detect();
  RunUpdate({0});

  EXPECT_EQ(LastMark(0), texts::kRowFailed);
  EXPECT_FALSE(rig.engine->uniAppOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
}

// The parameter: the failing module of the first stage is an application
// module (or else a bootloader module).
class FinalStatus : public WholeUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(FinalStatus, CountsApplicationModulesButNotBootloaderModules) {
  AddApp(GetParam() ? "app.fm" : "x_bootloader.fm", 4);
  AddRaw(kKernelFolderName, "app_ct_l2.fm", 500, 1);
  AddRaw(kKernelFolderName, "app_payment_SDK.fm", 700, 2);
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{5, sim::FaultKind::Refuse, 0x0A, true}};
  StartReader(Link::Hid, options);
  Detect();
  RunUpdate({0, 1, 2});

  EXPECT_EQ(LastMark(0), texts::kRowFailed);
  EXPECT_EQ(MarkTexts(1), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(MarkTexts(2), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_TRUE(rig.engine->kernelOk());
  EXPECT_EQ(rig.engine->statusText(), GetParam() ? texts::kUpdateFailed : texts::kUpdateSucceeded);
  EXPECT_EQ(reader->Modules().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Rules, FinalStatus, ::testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "FailedApplicationModule" : "FailedBootloaderModule");
});

using namespace std::chrono_literals;

class ShutdownDuringRun : public WholeUpdate {
 protected:
  // Scale 1: program time is real time.
  ShutdownDuringRun() : WholeUpdate(1) {}
};

TEST_F(ShutdownDuringRun, InTheMiddleOfATransfer) {
  AddApp("app.fm", 60);
  sim::ReaderOptions options = InBootloader();
  options.answerDelayMs = 50;  // a slow reader: the transfer would take seconds
  StartReader(Link::Tcp, options);
  Detect();
  rig.view.TickRow(0);
  rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.view.Percents().size() >= 3; }, 20000));

  const auto started = std::chrono::steady_clock::now();
  rig.view.ShutdownEngine();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  RecordProperty("shutdown_ms", static_cast<int>(took.count()));
  EXPECT_LT(took, 1000ms);
  EXPECT_FALSE(rig.engine->WorkersRunning());
  EXPECT_LT(ReceivedHeaderCommands(0xC7, 0x43), 20);
  EXPECT_TRUE(rig.view.RowMarks().empty()) << "a cut transfer is not marked";
  // What was exchanged so far is in the log.
  EXPECT_TRUE(LogHas("BOOTLOAD_SEND_BLOCK"));
}

}  // namespace
}  // namespace orvane::test
