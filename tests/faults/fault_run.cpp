#include "faults/fault_run.h"

#include "protocol/frames.h"

namespace orvane::test {

bool IsBlockRequest(const std::vector<uint8_t>& frame) {
  const bool header = frame.size() >= kHeaderOverhead + 4 && std::equal(kHeaderTag, kHeaderTag + 9, frame.begin()) &&
                      frame[10] == 0xC7 && frame[11] == 0x43;
  const bool stx = frame.size() > kStxOverhead && frame[0] == kStx && frame[3] == 0x42;
  return header || stx;
}

FaultRun::~FaultRun() {
  // The listener may run on a runner's thread until the runners stop.
  if (reader) reader->SetTraceListener(nullptr);
}

void FaultRun::ChooseLink(Link link, uint16_t port) {
  link_ = link;
  switch (link) {
    case Link::Tcp:
      rig.settings.tcpServerPort = port;
      selection_ = kDialogTcp;
      break;
    case Link::Tls:
      ASSERT_TRUE(WriteTestCertificate(rig.folder.path()));
      rig.settings.tlsServerPort = port;
      selection_ = kDialogTls;
      break;
    case Link::Serial:
    case Link::Hid:
      selection_ = kDialogUsbSerial;
      break;
  }
}

void FaultRun::StartReader(Link link, sim::ReaderOptions options) {
  reader = std::make_unique<sim::SimulatedReader>(std::move(options));
  switch (link) {
    case Link::Tcp:
      tcp = std::make_unique<sim::SimTcpServer>(*reader, 0);
      ASSERT_TRUE(tcp->Start());
      ChooseLink(link, tcp->Port());
      break;
    case Link::Tls: {
      const uint16_t port = FreeLoopbackPort();
      ASSERT_NE(port, 0);
      ChooseLink(link, port);
      tls = std::make_unique<sim::SimTlsClient>(*reader, "127.0.0.1", port);
      ASSERT_TRUE(tls->Start());
      break;
    }
    case Link::Serial:
      ChooseLink(link);
      pty = std::make_unique<sim::SimPty>(*reader);
      ASSERT_TRUE(pty->Start());
      rig.AddSerialPort(pty->Path());
      break;
    case Link::Hid:
      ChooseLink(link);
      hidDevice = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId);
      rig.hidBackend.AddDevice(hidDevice);
      hidRunner = std::make_unique<sim::SimHidDevice>(*reader, hidDevice);
      ASSERT_TRUE(hidRunner->Start());
      break;
  }
}

void FaultRun::StartDetection() {
  rig.Build();
  rig.OnPresenter([&] {
    rig.engine->ApplyInterfaceChoice(true, selection_);
    rig.engine->InitFirmwareFolders(rig.folder.path());
    rig.engine->TransferToControls();
    rig.engine->StartDetection();
  });
}

void FaultRun::Detect() {
  StartDetection();
  ASSERT_TRUE(rig.view.WaitForDelivered(WM_VIEW_REFRESH, kRefreshStartMonitor)) << "no reader found";
  ASSERT_TRUE(rig.engine->ready());
}

void FaultRun::PressUpdate(const std::vector<int>& rows) {
  for (int row : rows) rig.view.TickRow(row);
  rig.view.ClearRecords();
  rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
}

::testing::AssertionResult FaultRun::WaitForRunEnd(int timeoutMs) {
  if (!rig.view.WaitForDelivered(WM_UPDATE_FINISHED, -1, 1, timeoutMs)) {
    return ::testing::AssertionFailure() << "the run did not end; last status: " << rig.engine->statusText();
  }
  // The messages posted with the end of the run are handled too.
  rig.OnPresenter([] {});
  rig.OnPresenter([] {});
  return ::testing::AssertionSuccess();
}

std::string FaultRun::AddApplication(uint16_t blocks, bool pci) {
  EXPECT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(pci, blocks)));
  return PathInFolder(PathInFolder(rig.folder.path(), kAppFolderName), "app.fm");
}

void FaultRun::OnBlockRequest(int n, std::function<void()> action) {
  blocksSeen_.store(0);
  reader->SetTraceListener([this, n, action = std::move(action)](const sim::TraceEntry& entry) {
    if (entry.direction != sim::TraceEntry::Direction::Received || !IsBlockRequest(entry.bytes)) return;
    if (blocksSeen_.fetch_add(1) + 1 == n) action();
  });
}

::testing::AssertionResult FaultRun::PresenterResponds() {
  const auto started = std::chrono::steady_clock::now();
  rig.OnPresenter([] {});
  const auto took = std::chrono::steady_clock::now() - started;
  if (took < std::chrono::seconds(1)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the presenter thread took "
                                       << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                                       << " ms to handle a call";
}

void FaultRun::ExpectFailedApplicationRun() {
  EXPECT_TRUE(StatusesInOrder({texts::kFirmwareUpdating, texts::kFirmwareUpdateFailed}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_EQ(rig.view.RowMarks(),
            (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}}));
  EXPECT_FALSE(rig.engine->busy());
  EXPECT_EQ(rig.view.EnabledControls() & kUpdateControls, kUpdateControls);
  // The operator's log holds the failed run.
  const std::string log = LogText();
  EXPECT_NE(log.find("BOOTLOAD_SEND_BLOCK"), std::string::npos);
  EXPECT_NE(log.find("\r\nFirmware Update Failed!\r\n"), std::string::npos);
}

void FaultRun::ExpectSecondUpdateSucceeds(const std::string& path) {
  ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.engine->ready() && !rig.engine->UpdateRunning(); }))
      << "the reader was not found again; last status: " << rig.engine->statusText();
  reader->SetTraceListener(nullptr);
  RunUpdate({0});
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_TRUE(rig.engine->firmwareOk());
  EXPECT_FALSE(rig.engine->attention());
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  EXPECT_NE(LogText().find("\r\nBootload Succeeded! \r\n"), std::string::npos);
}

::testing::AssertionResult FaultRun::StatusesInOrder(const std::vector<std::string>& expected) const {
  const std::vector<std::string> statuses = Statuses();
  size_t at = 0;
  for (const std::string& status : statuses) {
    if (at < expected.size() && status == expected[at]) ++at;
  }
  if (at == expected.size()) return ::testing::AssertionSuccess();
  std::string seen;
  for (const std::string& status : statuses) seen += "\n  " + status;
  return ::testing::AssertionFailure() << "missing \"" << expected[at] << "\" in order; statuses were:" << seen;
}

std::map<uint32_t, std::vector<uint8_t>> FaultRun::SectionsOf(const std::string& path) {
  FirmwareFile file;
  EXPECT_EQ(file.ParseModuleFile(path), ParseResult::Ok);
  std::map<uint32_t, std::vector<uint8_t>> sections;
  for (const FirmwareSection& section : file.sections) sections[section.address] = section.data;
  return sections;
}

int FaultRun::ReceivedBlocks() const {
  int count = 0;
  for (const auto& frame : reader->ReceivedFrames()) count += IsBlockRequest(frame) ? 1 : 0;
  return count;
}

}  // namespace orvane::test
