// Soak: 200 consecutive updates in one engine against the simulated reader.
// File descriptors, threads and resident memory must not grow from the 10th
// run to the 200th. Not part of the default suite (label "soak"; scripts/soak).

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "faults/fault_run.h"

namespace orvane::test {
namespace {

struct Usage {
  long fds = 0;
  long threads = 0;
  long rssKb = 0;
};

Usage Measure() {
  namespace fs = std::filesystem;
  Usage usage;
  usage.fds = std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}) - 1;  // less its own
  usage.threads = std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator{});
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages >> usage.rssKb;
  usage.rssKb *= ::sysconf(_SC_PAGESIZE) / 1024;
  return usage;
}

class Soak : public FaultRun, public ::testing::WithParamInterface<Link> {};

TEST_P(Soak, TwoHundredUpdatesLeaveNothingBehind) {
  const int runs = std::getenv("ORVANE_SOAK_RUNS") ? std::atoi(std::getenv("ORVANE_SOAK_RUNS")) : 200;
  ASSERT_GE(runs, 10);
  const std::string path = AddApp("app.fm", 4);
  StartReader(GetParam(), InBootloader(GetParam() == Link::Serial ? FrameProtocol::Stx : FrameProtocol::Header));
  Detect();

  Usage at10;
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
    if (run == 10) at10 = Measure();
  }
  const Usage atEnd = Measure();
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
  std::printf("soak %s: run 10: %ld fds, %ld threads, %ld kB resident; run %d: %ld fds, %ld threads, %ld kB resident\n",
              LinkName(GetParam()), at10.fds, at10.threads, at10.rssKb, runs, atEnd.fds, atEnd.threads, atEnd.rssKb);
  // A thread or a descriptor may be between two states at the moment of
  // measuring (a monitor restarting); more than that is a leak.
  EXPECT_LE(atEnd.fds, at10.fds + 1);
  EXPECT_LE(atEnd.threads, at10.threads + 1);
  // Allocator slack, not growth per run: 190 runs leaking even 20 kB each would pass 3.8 MB.
  EXPECT_LE(atEnd.rssKb, at10.rssKb + 2048);
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
