// Soak: 200 consecutive updates in one engine against the simulated reader.
// File descriptors, threads and resident memory must not grow from the 10th
// run to the 200th. Not part of the default suite (label "soak"; scripts/soak).

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "faults/fault_run.h"

namespace orvane::test {
namespace {

int EntriesIn(const char* folder) {
  int count = 0;
  if (DIR* dir = ::opendir(folder)) {
    while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
    ::closedir(dir);
  }
  return count;
}

struct Usage {
  int fds = 0;
  int threads = 0;
  long rssKb = 0;
};

Usage Measure() {
  Usage usage;
  usage.fds = EntriesIn("/proc/self/fd") - 1;  // less the one reading the folder
  usage.threads = EntriesIn("/proc/self/task");
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  usage.rssKb = resident * (::sysconf(_SC_PAGESIZE) / 1024);
  return usage;
}

class Soak : public FaultRun, public ::testing::WithParamInterface<Link> {
 protected:
  // TLS handshakes must fit into their time-outs on a busy machine too.
  Soak() : FaultRun(100) {}
};

TEST_P(Soak, TwoHundredUpdatesLeaveNothingBehind) {
  const int runs = std::getenv("ORVANE_SOAK_RUNS") ? std::atoi(std::getenv("ORVANE_SOAK_RUNS")) : 200;
  ASSERT_GE(runs, 10);
  const std::string path = AddApp("app.fm", 4);
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  options.framing = GetParam() == Link::Serial ? FrameProtocol::Stx : FrameProtocol::Header;
  StartReader(GetParam(), options);
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
  std::printf("soak %s: run 10: %d fds, %d threads, %ld kB resident; run %d: %d fds, %d threads, %ld kB resident\n",
              LinkName(GetParam()), at10.fds, at10.threads, at10.rssKb, runs, atEnd.fds, atEnd.threads,
              atEnd.rssKb);
  RecordProperty("fds_at_10", at10.fds);
  RecordProperty("fds_at_end", atEnd.fds);
  RecordProperty("threads_at_10", at10.threads);
  RecordProperty("threads_at_end", atEnd.threads);
  RecordProperty("rss_kb_at_10", static_cast<int>(at10.rssKb));
  RecordProperty("rss_kb_at_end", static_cast<int>(atEnd.rssKb));
  // A thread or a descriptor may be between two states at the moment of
  // measuring (a monitor restarting); more than that is a leak.
  EXPECT_LE(atEnd.fds, at10.fds + 1);
  EXPECT_LE(atEnd.threads, at10.threads + 1);
  // Allocator slack, not growth per run: 190 runs leaking even 20 kB each would pass 3.8 MB.
  EXPECT_LE(atEnd.rssKb, at10.rssKb + 2048);
}

// One complete update (entry from the application, reboot, transfer) over
// TCP, for a run under valgrind; ORVANE_CLOCK_SCALE slows the scaled clock
// down to the speed of the instrumented program (default 10).
class SingleUpdate : public FaultRun {
 protected:
  SingleUpdate()
      : FaultRun(std::getenv("ORVANE_CLOCK_SCALE") ? static_cast<uint32_t>(std::atoi(std::getenv("ORVANE_CLOCK_SCALE")))
                                                   : 10) {}
};

TEST_F(SingleUpdate, FromTheApplicationOverTcp) {
  const std::string path = AddApp("app.fm", 4);
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Application;
  StartReader(Link::Tcp, options);
  Detect();
  RunUpdate({0});
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  EXPECT_EQ(reader->BlockImage(), SectionsOf(path));
}

INSTANTIATE_TEST_SUITE_P(Links, Soak, ::testing::Values(Link::Tcp, Link::Tls, Link::Serial, Link::Hid),
                         [](const auto& info) { return std::string(LinkName(info.param)); });

}  // namespace
}  // namespace orvane::test
