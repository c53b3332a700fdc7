#pragma once
// Whole update runs against the simulated reader: the engine with its real
// transports, a recording view, and the reader on one of its links (TCP
// server, TLS client, pseudo-terminal or the in-memory HID device). Pauses
// run on the scaled clock.

#include <gtest/gtest.h>

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

class WholeUpdate : public ::testing::Test {
 protected:
  explicit WholeUpdate(uint32_t scale = 100, HidBackend* hidHost = nullptr)
      : clock_(scale), scoped_(clock_), rig(hidHost) {}

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
    if (!rig.view.WaitForDelivered(ViewMessageKind::UpdateFinished, 1, timeoutMs)) {
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
};

}  // namespace orvane::test
