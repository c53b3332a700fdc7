// Closing the program in the middle of a run: every thread stops within
// about a second. These run on the real clock, since the point is how long
// the program really takes.

#include <chrono>

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;

class ShutdownDuringRun : public WholeUpdate {
 protected:
  // Scale 1: program time is real time.
  ShutdownDuringRun() : WholeUpdate(1) {}

  // Shuts the engine down and says how long that took.
  std::chrono::milliseconds TimedShutdown() {
    const auto started = std::chrono::steady_clock::now();
    rig.view.ShutdownEngine();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  }

  void PressUpdate(const std::vector<int>& rows) {
    for (int row : rows) rig.view.TickRow(row);
    rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
  }
};

TEST_F(ShutdownDuringRun, InTheMiddleOfATransfer) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(true, 60)));
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  options.mode = sim::ReaderMode::Bootloader;
  options.answerDelayMs = 50;  // a slow reader: the transfer would take seconds
  StartReader(Link::Tcp, options);
  Detect();
  PressUpdate({0});
  ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.view.Percents().size() >= 3; }, 20000));

  const auto took = TimedShutdown();
  RecordProperty("shutdown_ms", static_cast<int>(took.count()));
  EXPECT_LT(took, 1000ms);
  EXPECT_FALSE(rig.engine->WorkersRunning());
  EXPECT_LT(ReceivedHeaderCommands(0xC7, 0x43), 20);
  EXPECT_TRUE(rig.view.RowMarks().empty()) << "a cut transfer is not marked";
  // What was exchanged so far is in the log.
  EXPECT_NE(LogText().find("BOOTLOAD_SEND_BLOCK"), std::string::npos);
}

TEST_F(ShutdownDuringRun, WhileWaitingForTheReaderToComeBack) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app.fm", AppModuleSpec(true, 2)));
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  options.rebootDelayMs = 3600 * 1000;
  StartReader(Link::Tcp, options);
  Detect();
  PressUpdate({0});
  ASSERT_TRUE(rig.view.WaitUntil(
      [&] {
        const auto statuses = rig.view.StatusTexts();
        return !statuses.empty() && statuses.back() == texts::kWaitTcpServer;
      },
      20000));
  std::this_thread::sleep_for(100ms);

  const auto took = TimedShutdown();
  RecordProperty("shutdown_ms", static_cast<int>(took.count()));
  EXPECT_LT(took, 1000ms);
  EXPECT_FALSE(rig.engine->WorkersRunning());
}

}  // namespace
}  // namespace orvane::test
