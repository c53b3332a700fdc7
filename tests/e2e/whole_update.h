#pragma once
// Whole update runs against the simulated reader: the engine with its real
// transports, a recording view, and the reader on one of its links (TCP
// server, TLS client, pseudo-terminal or the in-memory HID device). Pauses
// run on the scaled clock.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/session_log.h"
#include "support/test_certificate.h"
#include "firmware/firmware_file.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/sim_tcp_server.h"
#include "reader-sim/sim_tls_client.h"
#include "reader-sim/simulated_reader.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "update/engine_rig.h"
#include "update/module_folders.h"
#include "update/update_texts.h"

namespace orvane::test {

// Command and sub-command of a header frame; nullopt for anything else.
inline std::optional<std::pair<uint8_t, uint8_t>> HeaderCommandOf(const std::vector<uint8_t>& frame) {
  if (frame.size() < kHeaderOverhead + 4) return std::nullopt;
  for (size_t i = 0; i < 9; ++i) {
    if (frame[i] != kHeaderTag[i]) return std::nullopt;
  }
  return std::make_pair(frame[10], frame[11]);
}

class WholeUpdate : public ::testing::Test {
 protected:
  explicit WholeUpdate(uint32_t scale = 100) : clock_(scale), scoped_(clock_) {}

  // The reader on its link, before the engine is built.
  void Connect(Link link, sim::ReaderOptions options) {
    link_ = link;
    reader = std::make_unique<sim::SimulatedReader>(std::move(options));
    switch (link) {
      case Link::Tcp:
        tcp_ = std::make_unique<sim::SimTcpServer>(*reader, 0);
        ASSERT_TRUE(tcp_->Start());
        rig.settings.tcpServerPort = tcp_->Port();
        selection_ = kDialogTcp;
        break;
      case Link::Tls: {
        ASSERT_TRUE(WriteTestCertificate(rig.folder.path()));
        const uint16_t port = FreeLoopbackPort();
        ASSERT_NE(port, 0);
        rig.settings.tlsServerPort = port;
        tls_ = std::make_unique<sim::SimTlsClient>(*reader, "127.0.0.1", port);
        ASSERT_TRUE(tls_->Start());
        selection_ = kDialogTls;
        break;
      }
      case Link::Serial:
        pty_ = std::make_unique<sim::SimPty>(*reader);
        ASSERT_TRUE(pty_->Start());
        rig.AddSerialPort(pty_->Path());
        selection_ = kDialogUsbSerial;
        break;
      case Link::Hid:
        hidDevice = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId);
        rig.hidBackend.AddDevice(hidDevice);
        hidRunner_ = std::make_unique<sim::SimHidDevice>(*reader, hidDevice);
        ASSERT_TRUE(hidRunner_->Start());
        selection_ = kDialogUsbSerial;
        break;
    }
  }

  // Builds the engine, lists the modules and waits until the reader is
  // detected and watched.
  void Detect() {
    rig.Build();
    rig.OnPresenter([&] {
      rig.engine->ApplyInterfaceChoice(true, selection_);
      rig.engine->InitFirmwareFolders(rig.folder.path());
      rig.engine->TransferToControls();
      rig.engine->StartDetection();
    });
    ASSERT_TRUE(rig.view.WaitForDelivered(WM_VIEW_REFRESH, kRefreshStartMonitor)) << "no reader found";
    ASSERT_TRUE(rig.engine->ready());
  }

  // Ticks the rows, presses Update, confirms, and waits for the end of the run.
  void RunUpdate(const std::vector<int>& rows, int timeoutMs = 30000) {
    for (int row : rows) rig.view.TickRow(row);
    rig.view.ClearRecords();
    rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
    ASSERT_TRUE(rig.view.WaitForDelivered(WM_UPDATE_FINISHED, -1, 1, timeoutMs))
        << "the run did not end; last status: " << rig.engine->statusText();
    // The messages posted with the end of the run are handled too.
    rig.OnPresenter([] {});
    rig.OnPresenter([] {});
  }

  std::vector<std::string> Statuses() const { return rig.view.StatusTexts(); }

  // True when `expected` occurs in the status texts in this order (others may lie between).
  ::testing::AssertionResult StatusesInOrder(const std::vector<std::string>& expected) const {
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

  std::vector<std::string> MarkTexts(int row) const {
    std::vector<std::string> texts;
    for (const RowMark& mark : rig.view.RowMarksOf(row)) texts.push_back(mark.text);
    return texts;
  }

  // How many header frames with this command and sub-command the reader received.
  int ReceivedHeaderCommands(uint8_t command, uint8_t sub) const {
    int count = 0;
    for (const auto& frame : reader->ReceivedFrames()) {
      auto header = HeaderCommandOf(frame);
      if (header && header->first == command && header->second == sub) ++count;
    }
    return count;
  }

  // The sections of a module file by address, as the reader should hold them.
  static std::map<uint32_t, std::vector<uint8_t>> SectionsOf(const std::string& path) {
    FirmwareFile file;
    EXPECT_EQ(file.ParseModuleFile(path), ParseResult::Ok);
    std::map<uint32_t, std::vector<uint8_t>> sections;
    for (const FirmwareSection& section : file.sections) sections[section.address] = section.data;
    return sections;
  }

  std::string AppModulePath(const std::string& name) const {
    return PathInFolder(PathInFolder(rig.folder.path(), kAppFolderName), name);
  }

  std::string LogText() const { return TempDir::Read(PathInFolder(rig.folder.path(), kSessionLogFileName)); }

  ScaledClock clock_;
  ScopedClock scoped_;
  std::unique_ptr<sim::SimulatedReader> reader;
  std::shared_ptr<FakeHidDevice> hidDevice;

 private:
  std::unique_ptr<sim::SimTcpServer> tcp_;
  std::unique_ptr<sim::SimTlsClient> tls_;
  std::unique_ptr<sim::SimPty> pty_;
  std::unique_ptr<sim::SimHidDevice> hidRunner_;

 protected:
  EngineRig rig;  // last: the engine stops before the reader's links go
  Link link_ = Link::Tcp;
  int selection_ = kDialogUsbSerial;
};

}  // namespace orvane::test
