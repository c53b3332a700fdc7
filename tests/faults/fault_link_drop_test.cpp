// The link to the reader goes away in the middle of a transfer.

#include <future>

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

// The link goes at data block 3 (position 6): a network reader closes the
// connection and is back after its reboot delay; a HID reader is unplugged
// and stays away until the run is over.
class LinkDrop : public FaultRun, public ::testing::WithParamInterface<Link> {
 protected:
  LinkDrop() : FaultRun(kTimedClockScale) {}
};

// A serial line lost in the middle of a transfer.
class LocalLinkLoss : public FaultRun {
 protected:
  LocalLinkLoss() : FaultRun(kTimedClockScale) {}
};

TEST_P(LinkDrop, FailsTheModuleAndTheNextUpdateSucceeds) {
  const std::string path = AddApp("app.fm", 8);
  const bool hid = GetParam() == Link::Hid;
  sim::ReaderOptions options = InBootloader();
  if (!hid) options.blockFaults = {sim::BlockFault{6, sim::FaultKind::DropLink}};
  StartReader(GetParam(), options);
  Detect();
  OnBlockRequest(6, [this, hid] {
    if (hid) hidDevice->SetPresent(false);
  });
  RunUpdate({0});

  ExpectFailedApplicationRun(kFailureToEndMs);
  ExpectLinkLossTold(hid                       ? "The reader's USB device is gone."
                     : GetParam() == Link::Tcp ? "The reader closed the TCP connection."
                                               : "The reader closed the TLS connection.");
  EXPECT_EQ(ReceivedBlocks(), 6) << "nothing is sent after the link went";
  EXPECT_TRUE(LogHas("NO RESP."));
  EXPECT_TRUE(PresenterResponds());
  if (hid) hidDevice->SetPresent(true);
  ExpectSecondUpdateSucceeds(path);
}

INSTANTIATE_TEST_SUITE_P(Links, LinkDrop, ::testing::Values(Link::Tcp, Link::Tls, Link::Hid),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

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
