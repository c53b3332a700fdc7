#pragma once
// The one clock of the program. Every pause and every time-out goes through
// it so that tests can run the long procedures without waiting in real time.

#include <cstdint>
#include <mutex>
#include <vector>

namespace orvane {

class Clock {
 public:
  virtual ~Clock() = default;
  // A pause of the program.
  virtual void SleepMs(uint32_t ms) = 0;
  // Program time in milliseconds; only differences are meaningful.
  virtual uint64_t TickMs() = 0;
  // An operating-system wait (poll, socket option, condition variable) that
  // stands for `ms` of program time: returns how many real milliseconds to
  // wait. The manual clock advances its time instead and returns 0.
  virtual int OsWaitMs(uint32_t ms) = 0;
};

// The clock in use; the real one unless a test replaced it.
Clock& TheClock();
// Replaces the clock for the whole process (nullptr restores the real one).
// The caller keeps ownership and must keep it alive while it is installed.
void SetClock(Clock* clock);

inline void SleepMs(uint32_t ms) { TheClock().SleepMs(ms); }
inline uint64_t TickMs() { return TheClock().TickMs(); }
inline int OsWaitMs(uint32_t ms) { return TheClock().OsWaitMs(ms); }

class RealClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override;
  uint64_t TickMs() override;
  int OsWaitMs(uint32_t ms) override;
};

// Runs program time `scale` times faster than real time: a 2000 ms pause
// takes 2000/scale real milliseconds. Used by whole-update tests.
class ScaledClock final : public Clock {
 public:
  explicit ScaledClock(uint32_t scale);
  void SleepMs(uint32_t ms) override;
  uint64_t TickMs() override;
  int OsWaitMs(uint32_t ms) override;

 private:
  uint32_t scale_;
  uint64_t startUs_;
};

// Time moves only when the program pauses or waits; every pause is recorded.
class ManualClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override;
  uint64_t TickMs() override;
  int OsWaitMs(uint32_t ms) override;

  void Advance(uint64_t ms);
  std::vector<uint32_t> Sleeps() const;  // every SleepMs, in order
  std::vector<uint32_t> Waits() const;   // every OsWaitMs, in order
  void ClearRecords();

 private:
  mutable std::mutex mutex_;
  uint64_t nowMs_ = 0;
  std::vector<uint32_t> sleeps_;
  std::vector<uint32_t> waits_;
};

// Installs a clock for the lifetime of the guard (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) { SetClock(&clock); }
  ~ScopedClock() { SetClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace orvane
