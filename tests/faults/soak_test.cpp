// Soak: 200 consecutive updates in one engine against the simulated reader.
// File descriptors, threads and resident memory must not grow from the 10th
// run to the 200th. Not part of the default suite (label "soak"; scripts/soak).

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

// Open descriptors (less the one reading the folder), threads, resident kB.
std::array<long, 3> Usage() {
  namespace fs = std::filesystem;
  long pages = 0, residentPages = 0;
  std::ifstream("/proc/self/statm") >> pages >> residentPages;
  return {std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}) - 1,
          std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator{}),
          residentPages * (::sysconf(_SC_PAGESIZE) / 1024)};
}

class Soak : public FaultRun, public ::testing::WithParamInterface<Link> {};

TEST_P(Soak, TwoHundredUpdatesLeaveNothingBehind) {
  const int runs = std::getenv("ORVANE_SOAK_RUNS") ? std::atoi(std::getenv("ORVANE_SOAK_RUNS")) : 200;
  ASSERT_GE(runs, 10);
  const std::string path = AddApp("app.fm", 4);
  StartReader(GetParam(), InBootloader(GetParam() == Link::Serial ? FrameProtocol::Stx : FrameProtocol::Header));
  Detect();

  std::array<long, 3> at10{};
  for (int run = 1; run <= runs; ++run) {
    ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.engine->ready() && !rig.engine->UpdateRunning(); }))
        << "run " << run;
    RunUpdate({0});
    // The presence monitor may already have moved the status line on.
    ASSERT_TRUE(StatusesInOrder({texts::kFirmwareUpdating, texts::kFirmwareUpdateSucceeded})) << "run " << run;
    ASSERT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}})) << "run " << run;
    // The record of every run would grow without end.
    reader->ClearTrace();
    rig.view.ClearRecords();
    if (hidDevice) hidDevice->ClearRecords();  // the fake device keeps every report written
    if (run == 10) at10 = Usage();
  }
  const std::array<long, 3> atEnd = Usage();
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  std::printf("soak %s: run 10: %ld fds, %ld threads, %ld kB resident; run %d: %ld fds, %ld threads, %ld kB resident\n",
              LinkName(GetParam()), at10[0], at10[1], at10[2], runs, atEnd[0], atEnd[1], atEnd[2]);
  // A thread or a descriptor may be between two states at the moment of
  // measuring (a monitor restarting); more than that is a leak.
  EXPECT_LE(atEnd[0], at10[0] + 1);
  EXPECT_LE(atEnd[1], at10[1] + 1);
  // Allocator slack, not growth per run: 190 runs leaking even 20 kB each would pass 3.8 MB.
  EXPECT_LE(atEnd[2], at10[2] + 2048);
}

INSTANTIATE_TEST_SUITE_P(Links, Soak, ::testing::Values(Link::Tcp, Link::Tls, Link::Serial, Link::Hid),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

// One complete update (entry from the application, reboot, transfer) over
// TCP, for a run under valgrind; ORVANE_CLOCK_SCALE slows the scaled clock
// down to the speed of the instrumented program (default 10).
class SingleUpdate : public FaultRun {
 protected:
  SingleUpdate() : FaultRun(std::getenv("ORVANE_CLOCK_SCALE") ? std::atoi(std::getenv("ORVANE_CLOCK_SCALE")) : 10) {}
};

TEST_F(SingleUpdate, FromTheApplicationOverTcp) {
  const std::string path = AddApp("app.fm", 4);
  StartReader(Link::Tcp, {});
  Detect();
  RunUpdate({0});
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
}

}  // namespace
}  // namespace orvane::test
