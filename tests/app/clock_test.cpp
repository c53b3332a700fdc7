#include "app/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace orvane {
namespace {

// The manual clock moves only by what is slept and waited; the scaled one
// shortens both but never rounds a real wait down to nothing; the real clock
// comes back when a test's clock goes.
TEST(Clock, ManualAndScaledClocksAndTheRealOneComesBack) {
  {
    ManualClock clock;
    ScopedClock installed(clock);
    SleepMs(2000);
    EXPECT_EQ(OsWaitMs(2500), 0);
    EXPECT_EQ(TickMs(), 4500u);
    EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>{2000});
    EXPECT_EQ(clock.Waits(), std::vector<uint32_t>{2500});
  }
  EXPECT_NE(dynamic_cast<RealClock*>(&TheClock()), nullptr);
  ScaledClock clock(1000);
  ScopedClock installed(clock);
  auto start = std::chrono::steady_clock::now();
  uint64_t before = TickMs();
  SleepMs(4000);  // 4 ms of real time
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_GE(TickMs() - before, 4000u);
  for (auto [ms, real] : {std::pair{5000u, 5}, {5u, 1}, {0u, 0}}) EXPECT_EQ(OsWaitMs(ms), real) << ms;
}

}  // namespace
}  // namespace orvane
