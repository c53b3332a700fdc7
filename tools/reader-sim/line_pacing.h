#pragma once
// Wire timing of the simulated links, so that a transfer takes as long as it
// would on real hardware: a serial line carries one byte per 10 bit times
// (start, eight data, stop), and a USB interrupt endpoint moves one report
// per polling interval. Program time (the clock) in milliseconds; a line
// keeps its own account in microseconds so that rounding does not add up.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace orvane::sim {

class LinkPause;

inline constexpr uint32_t kBitsPerSerialByte = 10;

// One direction of a serial line.
class SerialLineTiming {
 public:
  explicit SerialLineTiming(uint32_t baud) : baud_(baud) {}
  bool Paced() const { return baud_ > 0; }

  // Microseconds that `count` bytes take on the wire.
  uint64_t WireUs(size_t count) const;

  // `count` bytes enter the line at `nowMs`, behind any still on the wire.
  // Returns when (program time in microseconds) the first of them starts;
  // the line is busy until the last one has crossed.
  uint64_t Enqueue(uint64_t nowMs, size_t count);
  uint64_t BusyUntilUs() const { return busyUntilUs_; }
  // BusyUntilUs in whole milliseconds, to the nearest: program time moves in
  // milliseconds, and rounding always up would make every frame late.
  uint64_t BusyUntilMs() const { return (busyUntilUs_ + 500) / 1000; }

 private:
  uint32_t baud_;
  uint64_t busyUntilUs_ = 0;
};

// Waits until program time `tickMs`; false when the pause was stopped.
bool PauseUntil(LinkPause& pause, uint64_t tickMs);

// Puts `count` bytes on a line of `timing`: they come out together once the
// last of them has crossed. Handing them out piece by piece would leave gaps
// whenever this process is woken late, and the tool takes 5 ms of silence for
// the end of an answer; the whole answer is there at the same moment either
// way. `write` returns false when the link failed. False on failure or stop.
bool WritePaced(SerialLineTiming& timing, LinkPause& pause, size_t count, const std::function<bool()>& write);

// The frames of an interrupt endpoint: a report handed over at `nowMs` goes
// in the next free frame, `intervalMs` after the previous one.
class ReportSlots {
 public:
  explicit ReportSlots(uint32_t intervalMs = 0) : intervalMs_(intervalMs) {}
  bool Paced() const { return intervalMs_ > 0; }
  // The frame (program time, ms) in which a report handed over now goes.
  uint64_t Next(uint64_t nowMs);

 private:
  uint32_t intervalMs_;
  uint64_t lastMs_ = 0;
};

}  // namespace orvane::sim
