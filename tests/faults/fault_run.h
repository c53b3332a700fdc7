#pragma once
// Whole update runs against the simulated reader with a fault put in their
// way: the engine with its real transports and a recording view, the reader
// on one of its links (TCP server, TLS client, pseudo-terminal or the
// in-memory HID device), pauses on the scaled clock. After the fault every
// test checks what the operator sees, that the program still answers, and
// that a second update right after it succeeds without a restart.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
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

// True for a block command of a module-file load in either framing.
bool IsBlockRequest(const std::vector<uint8_t>& frame);

class FaultRun : public ::testing::Test {
 protected:
  explicit FaultRun(uint32_t scale = 100) : clock_(scale), scoped_(clock_) {}
  ~FaultRun() override;

  // The reader, and its link runner started, before the engine is built.
  void StartReader(Link link, sim::ReaderOptions options);
  // Only the settings and the interface choice for `link`; the test brings
  // its own peer.
  void ChooseLink(Link link, uint16_t port = 0);
  // Builds the engine and starts the detection; Detect() also waits until
  // the reader is found and watched.
  void StartDetection();
  void Detect();

  // Ticks the rows and presses Update (the confirmation is accepted).
  void PressUpdate(const std::vector<int>& rows);
  // Waits for the end of the run (the controls are given back).
  ::testing::AssertionResult WaitForRunEnd(int timeoutMs = 30000);
  void RunUpdate(const std::vector<int>& rows) {
    PressUpdate(rows);
    ASSERT_TRUE(WaitForRunEnd());
  }

  // An application module "app.fm" of `blocks` blocks in row 0; its path.
  std::string AddApplication(uint16_t blocks, bool pci = true);

  // Calls `action` (on the thread that hands the reader its requests) when
  // the reader receives its `n`-th block command, counted from now.
  void OnBlockRequest(int n, std::function<void()> action);

  // The presenter thread handles a call within a second of real time.
  ::testing::AssertionResult PresenterResponds();

  // The run failed at its only application module: the status and the marks
  // the operator sees.
  void ExpectFailedApplicationRun();
  // After the run: the reader is found again and a second update of row 0
  // loads the whole file.
  void ExpectSecondUpdateSucceeds(const std::string& path);

  // Everything the engine showed, in order.
  std::vector<std::string> Statuses() const { return rig.view.StatusTexts(); }
  ::testing::AssertionResult StatusesInOrder(const std::vector<std::string>& expected) const;
  // The sections of a module file by address, as the reader should hold them.
  static std::map<uint32_t, std::vector<uint8_t>> SectionsOf(const std::string& path);
  std::string LogText() const { return TempDir::Read(PathInFolder(rig.folder.path(), kSessionLogFileName)); }
  int ReceivedBlocks() const;

  ScaledClock clock_;
  ScopedClock scoped_;
  std::unique_ptr<sim::SimulatedReader> reader;
  std::shared_ptr<FakeHidDevice> hidDevice;
  std::unique_ptr<sim::SimTcpServer> tcp;
  std::unique_ptr<sim::SimTlsClient> tls;
  std::unique_ptr<sim::SimPty> pty;
  std::unique_ptr<sim::SimHidDevice> hidRunner;
  std::atomic<int> blocksSeen_{0};

  EngineRig rig;  // last: the engine stops before the reader's links go
  Link link_ = Link::Tcp;
  int selection_ = kDialogUsbSerial;
};

}  // namespace orvane::test
