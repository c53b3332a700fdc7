#include "reader-sim/line_pacing.h"

#include <algorithm>

#include "app/clock.h"
#include "reader-sim/link_pause.h"

namespace orvane::sim {

uint64_t SerialLineTiming::WireUs(size_t count) const {
  if (baud_ == 0) return 0;
  return static_cast<uint64_t>(count) * kBitsPerSerialByte * 1'000'000 / baud_;
}

uint64_t SerialLineTiming::Enqueue(uint64_t nowMs, size_t count) {
  const uint64_t startUs = std::max(nowMs * 1000, busyUntilUs_);
  busyUntilUs_ = startUs + WireUs(count);
  return startUs;
}

bool PauseUntil(LinkPause& pause, uint64_t tickMs) {
  const uint64_t now = TickMs();
  return now >= tickMs || pause.Pause(static_cast<uint32_t>(std::min<uint64_t>(tickMs - now, UINT32_MAX)));
}

bool WritePaced(SerialLineTiming& timing, LinkPause& pause, size_t count, const std::function<bool()>& write) {
  if (count == 0) return true;
  if (timing.Paced()) {
    timing.Enqueue(TickMs(), count);
    if (!PauseUntil(pause, timing.BusyUntilMs())) return false;
  }
  return write();
}

uint64_t ReportSlots::Next(uint64_t nowMs) {
  lastMs_ = std::max(nowMs, lastMs_) + intervalMs_;
  return lastMs_;
}

}  // namespace orvane::sim
