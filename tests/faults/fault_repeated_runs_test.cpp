// Update after update in one program: each run's log holds that run alone.

#include "faults/fault_run.h"

namespace orvane::test {
namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(FaultRun, EachRunLogsOnlyItsOwnExchanges) {
  const std::string path = AddApplication(2);
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  StartReader(Link::Tcp, options);
  Detect();
  std::vector<size_t> logSizes;
  for (int run = 0; run < 3; ++run) {
    ASSERT_TRUE(rig.view.WaitUntil([&] { return rig.engine->ready() && !rig.engine->UpdateRunning(); }));
    RunUpdate({0});
    ASSERT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
    const std::string log = LogText();
    EXPECT_EQ(Occurrences(log, "\r\nBootload Succeeded! \r\n"), 1u) << "run " << run;
    EXPECT_EQ(Occurrences(log, "BOOTLOAD_SEND_BLOCK"), 5u) << "run " << run;
    logSizes.push_back(log.size());
  }
  EXPECT_EQ(logSizes[1], logSizes[2]);
}

}  // namespace
}  // namespace orvane::test
