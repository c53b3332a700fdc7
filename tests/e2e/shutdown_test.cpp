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

  // Starts an update of row 0 and shuts the engine down `settle` after
  // `reached`; every thread has stopped within a second.
  void ShutDownWhen(const std::function<bool()>& reached, std::chrono::milliseconds settle = 0ms) {
    Detect();
    rig.view.TickRow(0);
    rig.OnPresenter([&] { rig.engine->OnButtonUpdate(); });
    ASSERT_TRUE(rig.view.WaitUntil(reached, 20000));
    std::this_thread::sleep_for(settle);
    const auto started = std::chrono::steady_clock::now();
    rig.view.ShutdownEngine();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    RecordProperty("shutdown_ms", static_cast<int>(took.count()));
    EXPECT_LT(took, 1000ms);
    EXPECT_FALSE(rig.engine->WorkersRunning());
  }
};

TEST_F(ShutdownDuringRun, InTheMiddleOfATransfer) {
  AddApp("app.fm", 60);
  sim::ReaderOptions options = InBootloader();
  options.answerDelayMs = 50;  // a slow reader: the transfer would take seconds
  StartReader(Link::Tcp, options);
  ShutDownWhen([&] { return rig.view.Percents().size() >= 3; });
  EXPECT_LT(ReceivedHeaderCommands(0xC7, 0x43), 20);
  EXPECT_TRUE(rig.view.RowMarks().empty()) << "a cut transfer is not marked";
  // What was exchanged so far is in the log.
  EXPECT_TRUE(LogHas("BOOTLOAD_SEND_BLOCK"));
}

TEST_F(ShutdownDuringRun, WhileWaitingForTheReaderToComeBack) {
  AddApp("app.fm", 2);
  sim::ReaderOptions options;
  options.rebootDelayMs = 3600 * 1000;
  StartReader(Link::Tcp, options);
  // Well into the wait itself.
  ShutDownWhen([&] { return !Statuses().empty() && Statuses().back() == texts::kWaitTcpServer; }, 100ms);
}

}  // namespace
}  // namespace orvane::test
