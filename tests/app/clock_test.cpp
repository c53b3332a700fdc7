#include "app/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace orvane {
namespace {

TEST(Clock, ManualClockRecordsPausesAndWaitsAndTheRealClockComesBack) {
  {
    ManualClock clock;
    ScopedClock installed(clock);
    EXPECT_EQ(TickMs(), 0u);
    SleepMs(2000);
    EXPECT_EQ(OsWaitMs(2500), 0);
    SleepMs(10);
    EXPECT_EQ(TickMs(), 4510u);
    EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{2000, 10}));
    EXPECT_EQ(clock.Waits(), (std::vector<uint32_t>{2500}));
  }
  EXPECT_NE(dynamic_cast<RealClock*>(&TheClock()), nullptr);
}

TEST(Clock, ScaledClockShortensPausesAndWaits) {
  ScaledClock clock(1000);
  ScopedClock installed(clock);
  auto start = std::chrono::steady_clock::now();
  uint64_t before = TickMs();
  SleepMs(4000);  // 4 ms of real time
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_GE(TickMs() - before, 4000u);
  EXPECT_EQ(OsWaitMs(5000), 5);
  EXPECT_EQ(OsWaitMs(5), 1);  // never rounds a real wait down to nothing
  EXPECT_EQ(OsWaitMs(0), 0);
}

}  // namespace
}  // namespace orvane
