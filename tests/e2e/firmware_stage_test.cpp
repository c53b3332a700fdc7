// Whole runs of the first stage: bootloader and application modules.

#include <cstdlib>
#include <filesystem>

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

sim::ReaderOptions ApplicationReader(char typeChar = '2') {
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  options.typeChar = typeChar;
  return options;
}

class FirmwareStage : public WholeUpdate, public ::testing::WithParamInterface<Link> {};

TEST_P(FirmwareStage, ApplicationModuleFromApplicationMode) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_main.fm", AppModuleSpec(true, 6)));
  StartReader(GetParam(), ApplicationReader());
  Detect();
  RunUpdate({0});

  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 1) << "one entry command";
  EXPECT_EQ(reader->BlockImage(), SectionsOf(AppModulePath("app_main.fm")));
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_TRUE(
      StatusesInOrder({texts::kToEnterBootload, texts::kBootloadEnterOkay, texts::kDeviceReady, texts::kDeviceRebooting,
                       texts::kDeviceReady, texts::kFirmwareUpdating, texts::kFirmwareUpdateSucceeded}));
  EXPECT_TRUE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.ButtonsEnabled() && rig.view.ListEnabled());
  const std::string log = LogText();
  EXPECT_NE(log.find("BOOTLOAD_SEND_BLOCK"), std::string::npos);
  EXPECT_NE(log.find("\r\nBootload Succeeded! \r\n"), std::string::npos);
  // The time line follows the log write of its module.
  EXPECT_EQ(log.find("[Time Last:"), std::string::npos);
  // The presence monitor watches the reader again.
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
  EXPECT_TRUE(rig.view.WaitUntil([&] { return rig.engine->WorkersRunning(); }));
}

INSTANTIATE_TEST_SUITE_P(Links, FirmwareStage, ::testing::Values(Link::Tcp, Link::Tls, Link::Serial, Link::Hid),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

// A bench hub with a second reader of the same ids, listed first: the run is
// held to the updated reader's location (given as its node at the start),
// follows it through its reboot under a new node, and the neighbour hears nothing.
TEST_F(WholeUpdate, HeldToOneUsbLocationTheNeighbourHearsNothing) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_main.fm", AppModuleSpec(true, 6)));
  auto neighbour = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId);
  neighbour->SetAddress("/dev/hidraw2", "1-2.4");
  rig.hidBackend.AddDevice(neighbour);
  StartReader(Link::Hid, ApplicationReader());
  hidDevice->SetAddress("/dev/hidraw3", "1-2.3");
  hidDevice->ComeBackAt("/dev/hidraw7", "1-2.3");
  rig.transports.hid().RestrictToLocation("/dev/hidraw3");
  Detect();
  RunUpdate({0});

  EXPECT_EQ(reader->BlockImage(), SectionsOf(AppModulePath("app_main.fm")));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_EQ(rig.hidBackend.PathOf(*hidDevice), "/dev/hidraw7") << "the reader did come back under a new node";
  EXPECT_EQ(neighbour->OpenCount(), 0);
  EXPECT_TRUE(neighbour->OutputReports().empty());
  EXPECT_TRUE(neighbour->FeatureReportsSet().empty());
}

sim::ReaderOptions BootloaderReader(char typeChar = '2', uint32_t stopPackage = 0) {
  sim::ReaderOptions options = ApplicationReader(typeChar);
  options.mode = sim::ReaderMode::Bootloader;
  options.stopPackage = stopPackage;
  return options;
}

TEST_F(WholeUpdate, ReaderAlreadyInItsBootloaderGetsNoEntryCommand) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_main.fm", AppModuleSpec(true, 3)));
  StartReader(Link::Tls, BootloaderReader());
  Detect();
  RunUpdate({0});

  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 0);
  EXPECT_EQ(reader->BlockImage(), SectionsOf(AppModulePath("app_main.fm")));
  EXPECT_EQ(MarkTexts(0), std::vector<std::string>{texts::kRowCompleted});
  for (const std::string& status : Statuses()) EXPECT_NE(status, texts::kToEnterBootload);
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_TRUE(rig.engine->firmwareOk());
}

// A log that no folder takes is not lost in silence: the operator is told once.
TEST_F(WholeUpdate, SessionLogThatNoFolderTakesIsToldOnce) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_one.fm", AppModuleSpec(true, 2)));
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_two.fm", AppModuleSpec(true, 2)));
  // A folder where each log file belongs, and a file where the fallback folder belongs.
  std::filesystem::create_directories(PathInFolder(rig.folder.path(), kSessionLogFileName) + "/kept");
  TempDir state;
  state.Write("orvane-bootload", "not a folder");
  const char* old = std::getenv("XDG_STATE_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  StartReader(Link::Tcp, BootloaderReader());
  Detect();
  RunUpdate({0, 1});
  if (old) {
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_STATE_HOME");
  }

  EXPECT_EQ(MarkTexts(1), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(rig.view.Notices(), std::vector<std::string>{texts::kLogLost});
}

TEST_F(WholeUpdate, FailingFirstBootloaderModuleIsPutBackThreeTimesThenFails) {
  // Only the first module is long enough to reach the refused block.
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "a_bootloader.fm", AppModuleSpec(true, 8)));
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "b_bootloader.fm", AppModuleSpec(true, 2)));
  sim::ReaderOptions options = BootloaderReader();
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
  const std::string log = LogText();
  EXPECT_NE(log.find("\r\nApplication Update Failed, current kernel suspended!\r\n"), std::string::npos);
}

TEST_F(WholeUpdate, SingleFailingBootloaderModuleFailsAtOnce) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "only_bootloader.fm", AppModuleSpec(true, 4)));
  sim::ReaderOptions options = BootloaderReader();
  options.blockFaults = {sim::BlockFault{4, sim::FaultKind::Refuse, 0x0A, true}};
  StartReader(Link::Hid, options);
  Detect();
  RunUpdate({0});

  EXPECT_EQ(MarkTexts(0), (std::vector<std::string>{texts::kRowCompleted, texts::kRowFailed}));
  EXPECT_EQ(reader->Loads().size(), 1u);
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateFailed);
}

// The result that a front end decides on agrees with the rows and the status
// line: a success, and a run that ended early.
struct ResultCase {
  const char* name;
  Link link;
  sim::ReaderOptions reader;
  bool pci;
  int blocks;
  bool succeeded;
  bool firmwareOk;
  RunEnd end;
  int stoppedAtRow;
  ModuleOutcome outcome;
  const char* status;
};

void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }

class RunResults : public WholeUpdate, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(RunResults, AgreeWithTheRowsAndTheStatus) {
  const ResultCase& c = GetParam();
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_main.fm", AppModuleSpec(c.pci, c.blocks)));
  StartReader(c.link, c.reader);
  Detect();
  RunUpdate({0});

  const std::vector<RunResult> results = rig.view.RunResults();
  ASSERT_EQ(results.size(), 1u);
  const RunResult& result = results[0];
  EXPECT_EQ(result.succeeded, c.succeeded);
  EXPECT_EQ(result.end, c.end);
  EXPECT_EQ(result.stoppedAtRow, c.stoppedAtRow);
  EXPECT_EQ(result.OutcomeOf(0), c.outcome);
  EXPECT_EQ(result.firmwareOk, c.firmwareOk);
  EXPECT_EQ(result.statusText, c.status);
  EXPECT_EQ(result.statusText, rig.engine->statusText());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunResults,
    ::testing::Values(ResultCase{"Success", Link::Tcp, ApplicationReader(), true, 3, true, true, RunEnd::Finished, -1,
                                 ModuleOutcome::Completed, texts::kFirmwareUpdateSucceeded},
                      ResultCase{"StopPointError", Link::Serial, BootloaderReader('3', 40), false, 32, false,
                                 true, RunEnd::StopPointError, 0, ModuleOutcome::NotSent, texts::kStopPointError}),
    [](const auto& info) { return std::string(info.param.name); });

struct MismatchCase {
  const char* name;
  const char* file;
  Link link;
};

void PrintTo(const MismatchCase& c, std::ostream* os) { *os << c.name; }

class PciMismatch : public WholeUpdate, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(PciMismatch, EndsTheRunWithoutTheKernelStageAndGivesTheControlsBack) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), GetParam().file, AppModuleSpec(true, 2)));
  ASSERT_TRUE(AddKernelModule(rig.folder.path(), "app_ct_l2.fm", 1024));
  StartReader(GetParam().link, BootloaderReader('3'));  // a non-PCI reader
  Detect();
  RunUpdate({0, 1});

  EXPECT_EQ(rig.engine->statusText(), texts::kPciNotMatch);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(rig.view.RowMarks().empty());
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x11), 0) << "no kernel stage";
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_TRUE(rig.view.ButtonsEnabled() && rig.view.ListEnabled());
  EXPECT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor));
}

INSTANTIATE_TEST_SUITE_P(Stages, PciMismatch,
                         ::testing::Values(MismatchCase{"BootloaderModule", "x_bootloader.fm", Link::Tcp},
                                           MismatchCase{"ApplicationModule", "app.fm", Link::Hid}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WholeUpdate, StopPackageBeyondTheFileIsAStopPointError) {
  // 2 preamble sections + 32 blocks + trailer = 35 packets; the reader says 40.
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(false, 32)));
  StartReader(Link::Serial, BootloaderReader('3', 40));
  Detect();
  RunUpdate({0});

  EXPECT_EQ(rig.engine->statusText(), texts::kStopPointError);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_TRUE(rig.view.RowMarks().empty());
  EXPECT_TRUE(rig.view.ButtonsEnabled() && rig.view.ListEnabled());
}

TEST_F(WholeUpdate, InterruptedLoadContinuesFromTheStopPackage) {
  rig.settings.enableInterruptPointReserve = 1;
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(false, 8)));
  StartReader(Link::Tcp, BootloaderReader('3', 5));
  Detect();
  EXPECT_NE(rig.engine->deviceInfoText().find("Continue Loading From Stop Package:\t 5"), std::string::npos);
  RunUpdate({0});

  // Preamble, blocks 5 to 7 and the trailer; blocks 0 to 4 are on the reader already.
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x43), 6);
  const auto percents = rig.view.Percents();
  ASSERT_GE(percents.size(), 3u);
  EXPECT_EQ(percents[0].second, 100 * 1 / 11);
  EXPECT_EQ(percents[1].second, 100 * 2 / 11);
  EXPECT_EQ(percents[2].second, 100 * 8 / 11);
  EXPECT_EQ(MarkTexts(0), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_TRUE(rig.engine->firmwareOk());
}

TEST_F(WholeUpdate, ReaderLostAfterTheRebootIsNotReplugged) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(true, 2)));
  ASSERT_TRUE(AddKernelModule(rig.folder.path(), "app_ct_l2.fm", 1024));
  StartReader(Link::Hid, BootloaderReader());
  Detect();
  rig.view.SetStatusHook([&](const std::string& status) {
    if (status == texts::kDeviceRebooting) hidDevice->SetPresent(false);
  });
  RunUpdate({0, 1});

  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowNotReplug, kRowRed}}));
  // The application stage hands over at once; the kernel stage cannot find the reader either.
  EXPECT_TRUE(StatusesInOrder({texts::kDeviceRebooting, texts::kDetectingDevice, texts::kDeviceRebootFailed,
                               texts::kKernelUpdating, texts::kReconnectFailed}));
  for (const std::string& status : Statuses()) {
    EXPECT_NE(status, texts::kFirmwareUpdateSucceeded);
    EXPECT_NE(status, texts::kFirmwareUpdateFailed);
  }
  EXPECT_EQ(rig.engine->statusText(), texts::kReconnectFailed);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_TRUE(reader->Loads().empty());
  EXPECT_NE(LogText().find("Failed to find the device, please check the device.\r\n"), std::string::npos);
}

class SlowWholeUpdate : public WholeUpdate {
 protected:
  SlowWholeUpdate() : WholeUpdate(400) {}
};

TEST_F(SlowWholeUpdate, ReconnectionAfterTheEntryGivesUpAfterTwoMinutes) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(true, 2)));
  sim::ReaderOptions options = ApplicationReader();
  options.rebootDelayMs = 24 * 3600 * 1000;  // never back
  StartReader(Link::Tcp, options);
  Detect();
  uint64_t enteredAt = 0;
  uint64_t gaveUpAt = 0;
  rig.view.SetStatusHook([&](const std::string& status) {
    if (status == texts::kBootloadEnterOkay) enteredAt = TickMs();
    if (status == texts::kFailedToFindDevice) gaveUpAt = TickMs();
  });
  RunUpdate({0});

  EXPECT_TRUE(StatusesInOrder(
      {texts::kBootloadEnterOkay, texts::kWaitTcpServer, texts::kFailedToFindDevice, texts::kFirmwareUpdateFailed}));
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowNotReplug, kRowRed}}));
  EXPECT_GE(gaveUpAt - enteredAt, kReconnectGiveUpMs);
  EXPECT_LT(gaveUpAt - enteredAt, kReconnectGiveUpMs + 10000);
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_FALSE(rig.engine->ready());
}

}  // namespace
}  // namespace orvane::test
