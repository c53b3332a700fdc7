#include "app/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace orvane {
namespace {

uint64_t MonotonicUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

RealClock g_realClock;
std::atomic<Clock*> g_clock{&g_realClock};

}  // namespace

Clock& TheClock() { return *g_clock.load(std::memory_order_acquire); }

void SetClock(Clock* clock) { g_clock.store(clock ? clock : &g_realClock, std::memory_order_release); }

void RealClock::SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
uint64_t RealClock::TickMs() { return MonotonicUs() / 1000; }
int RealClock::OsWaitMs(uint32_t ms) { return static_cast<int>(ms); }

ScaledClock::ScaledClock(uint32_t scale) : scale_(scale ? scale : 1), startUs_(MonotonicUs()) {}

void ScaledClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::microseconds(uint64_t{ms} * 1000 / scale_));
}

uint64_t ScaledClock::TickMs() { return (MonotonicUs() - startUs_) * scale_ / 1000; }

int ScaledClock::OsWaitMs(uint32_t ms) {
  if (ms == 0) return 0;
  // Round up so that a short wait still gives a peer a moment to answer.
  return static_cast<int>((uint64_t{ms} + scale_ - 1) / scale_);
}

void ManualClock::SleepMs(uint32_t ms) {
  std::lock_guard lock(mutex_);
  sleeps_.push_back(ms);
  nowMs_ += ms;
}

uint64_t ManualClock::TickMs() {
  std::lock_guard lock(mutex_);
  return nowMs_;
}

int ManualClock::OsWaitMs(uint32_t ms) {
  std::lock_guard lock(mutex_);
  waits_.push_back(ms);
  nowMs_ += ms;
  return 0;
}

void ManualClock::Advance(uint64_t ms) {
  std::lock_guard lock(mutex_);
  nowMs_ += ms;
}

std::vector<uint32_t> ManualClock::Sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

std::vector<uint32_t> ManualClock::Waits() const {
  std::lock_guard lock(mutex_);
  return waits_;
}

void ManualClock::ClearRecords() {
  std::lock_guard lock(mutex_);
  sleeps_.clear();
  waits_.clear();
}

}  // namespace orvane
