// The link to the reader goes away in the middle of a transfer.

#include <future>

#include "faults/fault_run.h"

namespace orvane::test {
namespace {

// The reader closes the connection at data block 3 (position 6) and is back
// after its reboot delay.
class NetworkLinkDrop : public FaultRun, public ::testing::WithParamInterface<Link> {
 protected:
  NetworkLinkDrop() : FaultRun(kTimedClockScale) {}
};

// A local link lost in the middle of a transfer.
class LocalLinkLoss : public FaultRun {
 protected:
  LocalLinkLoss() : FaultRun(kTimedClockScale) {}
};

TEST_P(NetworkLinkDrop, FailsTheModuleAndTheNextUpdateSucceeds) {
  const std::string path = AddApp("app.fm", 8);
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{6, sim::FaultKind::DropLink}};
  StartReader(GetParam(), options);
  Detect();
  OnBlockRequest(6);
  RunUpdate({0});

  ExpectFailedApplicationRun(kFailureToEndMs);
  ExpectLinkLossTold(GetParam() == Link::Tcp ? "The reader closed the TCP connection."
                                             : "The reader closed the TLS connection.");
  EXPECT_EQ(ReceivedBlocks(), 6) << "nothing is sent after the link went";
  EXPECT_TRUE(LogHas("NO RESP."));
  EXPECT_TRUE(PresenterResponds());
  ExpectSecondUpdateSucceeds(path);
}

INSTANTIATE_TEST_SUITE_P(Links, NetworkLinkDrop, ::testing::Values(Link::Tcp, Link::Tls),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

TEST_F(LocalLinkLoss, HidDeviceVanishesInTheMiddleOfATransfer) {
  const std::string path = AddApp("app.fm", 8);
  StartReader(Link::Hid, InBootloader());
  Detect();
  // Unplugged while the tool writes data block 2; it stays away until the run is over.
  OnBlockRequest(5, [this] { hidDevice->SetPresent(false); });
  RunUpdate({0});

  ExpectFailedApplicationRun(kFailureToEndMs);
  ExpectLinkLossTold("The reader's USB device is gone.");
  EXPECT_EQ(ReceivedBlocks(), 5);
  EXPECT_TRUE(PresenterResponds());
  hidDevice->SetPresent(true);
  ExpectSecondUpdateSucceeds(path);
}

TEST_F(LocalLinkLoss, PseudoTerminalClosedInTheMiddleOfATransfer) {
  const std::string path = AddApp("app.fm", 200);
  sim::ReaderOptions options = InBootloader(FrameProtocol::Stx);
  options.answerDelayMs = 100;  // 200 blocks take long enough to be cut
  StartReader(Link::Serial, options);
  Detect();
  std::promise<void> reached;
  OnBlockRequest(10, [&reached] { reached.set_value(); });
  PressUpdate({0});
  ASSERT_EQ(reached.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  // The line is gone: no longer listed, and the tool's reads and writes fail.
  rig.ListSerialPort(pty->Path(), false);
  pty->Stop();
  MarkFault();
  ASSERT_TRUE(WaitForRunEnd());

  ExpectFailedApplicationRun(kFailureToEndMs);
  ExpectLinkLossTold("The reader's serial line is gone.");
  EXPECT_LT(ReceivedBlocks(), 202);
  EXPECT_TRUE(PresenterResponds());
  // The reader comes back on another line.
  reader->SetTraceListener(nullptr);
  auto line = std::make_unique<sim::SimPty>(*reader);
  ASSERT_TRUE(line->Start());
  rig.ListSerialPort(line->Path());
  pty = std::move(line);
  ExpectSecondUpdateSucceeds(path);
}

}  // namespace
}  // namespace orvane::test
