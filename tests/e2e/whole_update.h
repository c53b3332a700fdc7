#pragma once
// Whole update runs against the simulated reader: the engine with its real
// transports, a recording view, and the reader on one of its links (TCP
// server, TLS client, pseudo-terminal or the in-memory HID device). Pauses
// run on the scaled clock.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/session_log.h"
#include "firmware/firmware_file.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/sim_tcp_server.h"
#include "reader-sim/sim_tls_client.h"
#include "reader-sim/simulated_reader.h"
#include "support/links.h"
#include "support/test_certificate.h"
#include "update/engine_rig.h"

namespace orvane::test {

inline sim::ReaderOptions InBootloader(FrameProtocol framing = FrameProtocol::Header) {
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  options.framing = framing;
  return options;
}

// Command and sub-command of a header frame; nullopt for anything else.
inline std::optional<std::pair<uint8_t, uint8_t>> HeaderCommandOf(const std::vector<uint8_t>& frame) {
  if (frame.size() < kHeaderOverhead + 4 || !std::equal(kHeaderTag, kHeaderTag + 9, frame.begin())) return {};
  return std::make_pair(frame[10], frame[11]);
}

// From a failure to the end of the run: the wait that sees it (about 2 s at
// most, a lost link at once) and the pause after a module.
inline constexpr uint64_t kFailureToEndMs = 2000 + kAfterModuleMs;

// Runs whose failure time is measured: a slower clock, so that the real time
// the machine needs for its work weighs less in program time.
inline constexpr uint32_t kTimedClockScale = 10;

// True for a block command of a module-file load in either framing.
inline bool IsBlockRequest(const std::vector<uint8_t>& frame) {
  return HeaderCommandOf(frame) == std::pair<uint8_t, uint8_t>{0xC7, 0x43} ||
         (frame.size() > kStxOverhead && frame[0] == kStx && frame[3] == 0x42);
}

inline size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// After a fault every test checks what the operator sees, that the program
// still answers, and that a second update right after it succeeds without a
// restart.
class WholeUpdate : public ::testing::Test {
 protected:
  explicit WholeUpdate(uint32_t scale = 100, HidBackend* hidHost = nullptr)
      : clock_(scale), scoped_(clock_), rig(hidHost), scale_(scale) {}
  // The listener may run on a runner's thread until the runners stop.
  ~WholeUpdate() override {
    if (reader) reader->SetTraceListener(nullptr);
  }

  // The reader, and its link runner started, before the engine is built.
  void StartReader(Link link, sim::ReaderOptions options) {
    reader = std::make_unique<sim::SimulatedReader>(std::move(options));
    if (link == Link::Tcp) {
      tcp = std::make_unique<sim::SimTcpServer>(*reader, 0);
      ASSERT_TRUE(tcp->Start());
      ChooseLink(link, tcp->Port());
    } else if (link == Link::Tls) {
      const uint16_t port = FreeLoopbackPort();
      ASSERT_NE(port, 0);
      ChooseLink(link, port);
      tls = std::make_unique<sim::SimTlsClient>(*reader, "127.0.0.1", port);
      ASSERT_TRUE(tls->Start());
    } else if (link == Link::Serial) {
      ChooseLink(link);
      pty = std::make_unique<sim::SimPty>(*reader);
      ASSERT_TRUE(pty->Start());
      rig.ListSerialPort(pty->Path());
    } else {
      ChooseLink(link);
      hidDevice = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId);
      rig.hidBackend.AddDevice(hidDevice);
      hidRunner = std::make_unique<sim::SimHidDevice>(*reader, hidDevice);
      ASSERT_TRUE(hidRunner->Start());
    }
  }

  // Only the settings and the interface choice for `link`; a test may bring
  // its own peer.
  void ChooseLink(Link link, uint16_t port = 0) {
    interface_ = link == Link::Tcp ? InterfaceTcpClient : link == Link::Tls ? InterfaceTlsServer : InterfaceUsbSerial;
    if (link == Link::Tcp) rig.settings.tcpServerPort = port;
    if (link != Link::Tls) return;
    ASSERT_TRUE(WriteTestCertificate(rig.folder.path()));
    rig.settings.tlsServerPort = port;
  }

  // Builds the engine, lists the modules and starts the detection.
  void StartDetection() {
    rig.Build();
    rig.OnPresenter([&] {
      rig.engine->ApplyInterfaceChoice(interface_);
      rig.engine->InitFirmwareFolders(rig.folder.path());
      rig.engine->TransferToControls();
      rig.engine->StartDetection();
    });
  }

  // StartDetection, then waits until the reader is detected and watched.
  void Detect() {
    StartDetection();
    ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor)) << "no reader found";
    ASSERT_TRUE(rig.engine->ready());
  }

  // Ticks the rows and presses Update (the confirmation is accepted).
  void PressUpdate(const std::vector<int>& rows) {
    for (int row : rows) rig.view.TickRow(row);
    rig.view.ClearRecords();
    rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  }

  // Waits for the end of the run and the messages posted with it.
  ::testing::AssertionResult WaitForRunEnd(int timeoutMs = 30000) {
    if (!rig.view.WaitUntil([&] { return rig.view.Delivered(ViewMessageKind::UpdateFinished) > 0; }, timeoutMs)) {
      return ::testing::AssertionFailure() << "the run did not end; last status: " << rig.engine->statusText();
    }
    rig.OnPresenter([] {});
    rig.OnPresenter([] {});
    return ::testing::AssertionSuccess();
  }

  void RunUpdate(const std::vector<int>& rows) {
    PressUpdate(rows);
    ASSERT_TRUE(WaitForRunEnd());
  }

  std::vector<std::string> Statuses() const { return rig.view.Args("StatusTextChanged"); }

  // True when `expected` occurs in the status texts in this order (others may lie between).
  ::testing::AssertionResult StatusesInOrder(const std::vector<std::string>& expected) const {
    size_t at = 0;
    std::string seen;
    for (const std::string& status : Statuses()) {
      if (at < expected.size() && status == expected[at]) ++at;
      seen += "\n  " + status;
    }
    if (at == expected.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "missing \"" << expected[at] << "\" in order; statuses were:" << seen;
  }

  std::vector<std::string> MarkTexts(int row) const {
    std::vector<std::string> texts;
    for (const RowMark& mark : rig.view.RowMarks(row)) texts.push_back(mark.text);
    return texts;
  }
  std::string LastMark(int row) const { return MarkTexts(row).empty() ? "" : MarkTexts(row).back(); }

  // How many header frames with this command and sub-command the reader received.
  int ReceivedHeaderCommands(uint8_t command, uint8_t sub) const {
    const auto frames = reader->ReceivedFrames();
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](const auto& frame) {
      return HeaderCommandOf(frame) == std::pair{command, sub};
    }));
  }

  // The sections of a module file by address, as the reader should hold them.
  static std::map<uint32_t, std::vector<uint8_t>> SectionsOf(const std::string& path) {
    FirmwareFile file;
    EXPECT_EQ(file.ParseModuleFile(path), ParseResult::Ok);
    std::map<uint32_t, std::vector<uint8_t>> sections;
    for (const FirmwareSection& section : file.sections) sections[section.address] = section.data;
    return sections;
  }

  // An application module in the rig's folder; its path.
  std::string AddApp(const std::string& name, uint16_t blocks, bool pci = true) {
    EXPECT_TRUE(AddAppModule(rig.folder.path(), name, AppModuleSpec(pci, blocks)));
    return AppModulePath(name);
  }
  std::string AppModulePath(const std::string& name) const {
    return ModulePath(rig.folder.path(), kAppFolderName, name);
  }
  void AddRaw(const char* folderName, const std::string& name, size_t length, uint32_t seed = 1) {
    EXPECT_TRUE(AddRawModule(rig.folder.path(), folderName, name, length, seed));
  }

  std::string LogText() const { return TempDir::Read(PathInFolder(rig.folder.path(), kSessionLogFileName)); }
  bool LogHas(const std::string& part) const { return LogText().find(part) != std::string::npos; }

  // Calls `action` (on the thread that hands the reader its requests) when
  // the reader receives its `n`-th block command, counted from now; the
  // fault's time is noted then.
  void OnBlockRequest(
      int n, std::function<void()> action = [] {}) {
    blocksSeen_.store(0);
    reader->SetTraceListener([this, n, action = std::move(action)](const sim::TraceEntry& entry) {
      if (entry.direction != sim::TraceEntry::Direction::Received || !IsBlockRequest(entry.bytes)) return;
      if (blocksSeen_.fetch_add(1) + 1 != n) return;
      MarkFault();
      action();
    });
  }
  // Notes the program time of the fault (when it is not a block request's).
  void MarkFault() { faultMs_.store(TickMs()); }

  // The presenter thread handles a call within a second of real time.
  bool PresenterResponds() {
    const auto started = std::chrono::steady_clock::now();
    rig.OnPresenter([] {});
    return std::chrono::steady_clock::now() - started < std::chrono::seconds(1);
  }

  // The run failed at its only application module: the status and the marks
  // the operator sees, and the run's end came within `budgetMs` of program
  // time after the fault (plus 100 real ms for a busy machine's scheduling).
  void ExpectFailedApplicationRun(uint64_t budgetMs) {
    const uint64_t endMs = rig.view.PostedAtMs(ViewMessageKind::UpdateFinished);
    EXPECT_NE(faultMs_.load(), 0u) << "the test did not note the time of its fault";
    RecordProperty("faultToEndMs", std::to_string(endMs - faultMs_.load()));
    EXPECT_LE(endMs - faultMs_.load(), budgetMs + scale_ * 100) << "program ms from the fault to the end of the run";
    EXPECT_TRUE(StatusesInOrder({texts::kFirmwareUpdating, texts::kFirmwareUpdateFailed}));
    EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateFailed);
    EXPECT_TRUE(rig.engine->attention());
    EXPECT_FALSE(rig.engine->firmwareOk());
    EXPECT_EQ(rig.view.RowMarks(),
              (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}}));
    EXPECT_FALSE(rig.engine->busy());
    EXPECT_TRUE(rig.view.InputsEnabled());
    // The operator's log holds the failed run.
    EXPECT_TRUE(LogHas("BOOTLOAD_SEND_BLOCK"));
    EXPECT_TRUE(LogHas("\r\nFirmware Update Failed!\r\n"));
  }
  // The operator was told in words that the link was lost: in the log and
  // once as a notice.
  void ExpectLinkLossTold(const std::string& loss) {
    EXPECT_TRUE(LogHas("\r\n" + loss + "\r\n"));
    EXPECT_EQ(rig.view.Args("ShowNotice"),
              std::vector<std::string>{"The link to the reader was lost during the transfer. " + loss});
  }
  // After the run: the reader is found again and a second update of row 0
  // loads the whole file; the log holds this run alone.
  void ExpectSecondUpdateSucceeds(const std::string& path) {
    ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.engine->ready() && !rig.engine->UpdateRunning(); }))
        << "the reader was not found again; last status: " << rig.engine->statusText();
    reader->SetTraceListener(nullptr);
    RunUpdate({0});
    EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
    EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
    EXPECT_TRUE(rig.engine->firmwareOk());
    EXPECT_FALSE(rig.engine->attention());
    EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
    EXPECT_EQ(Occurrences(LogText(), "\r\nBootload Succeeded! \r\n"), 1u);
    EXPECT_FALSE(LogHas("Failed"));
  }

  int ReceivedBlocks() const {
    const auto frames = reader->ReceivedFrames();
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), IsBlockRequest));
  }

  ScaledClock clock_;
  ScopedClock scoped_;
  std::unique_ptr<sim::SimulatedReader> reader;
  std::shared_ptr<FakeHidDevice> hidDevice;
  std::unique_ptr<sim::SimTcpServer> tcp;
  std::unique_ptr<sim::SimTlsClient> tls;
  std::unique_ptr<sim::SimPty> pty;
  std::unique_ptr<sim::SimHidDevice> hidRunner;

  EngineRig rig;  // last: the engine stops before the reader's links go
  InterfaceKind interface_ = InterfaceUsbSerial;
  std::atomic<int> blocksSeen_{0};
  std::atomic<uint64_t> faultMs_{0};
  const uint32_t scale_;
};

using FaultRun = WholeUpdate;

}  // namespace orvane::test
