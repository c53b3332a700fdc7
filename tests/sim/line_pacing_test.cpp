// Wire timing of the simulated links: the serial time budgets are only real
// if the line is as slow as its baud rate.

#include "reader-sim/line_pacing.h"

#include <gtest/gtest.h>

namespace orvane::sim {
namespace {

TEST(SerialLineTiming, TenBitsPerByteQueuedBehindWhatIsOnTheWire) {
  SerialLineTiming line(115200);
  EXPECT_EQ(line.WireUs(1152), 100'000u);
  EXPECT_EQ(line.Enqueue(50, 1152), 50'000u);
  EXPECT_EQ(line.BusyUntilMs(), 150u);
  // Bytes handed over while the line is busy start when it is free.
  EXPECT_EQ(line.Enqueue(60, 12), 150'000u);
  EXPECT_EQ(line.BusyUntilUs(), 151'041u);
  EXPECT_EQ(line.BusyUntilMs(), 151u) << "to the nearest millisecond";
  line.Enqueue(60, 6);
  EXPECT_EQ(line.BusyUntilMs(), 152u);
  EXPECT_EQ(line.Enqueue(400, 1), 400'000u);
  EXPECT_FALSE(SerialLineTiming(0).Paced());
}

TEST(ReportSlots, OneReportPerFrameAfterTheLastOne) {
  ReportSlots slots(1);
  EXPECT_EQ(slots.Next(100), 101u);
  EXPECT_EQ(slots.Next(100), 102u) << "handed over together: one frame each";
  EXPECT_EQ(slots.Next(101), 103u);
  EXPECT_EQ(slots.Next(200), 201u) << "an idle endpoint takes the next frame";
}

}  // namespace
}  // namespace orvane::sim
