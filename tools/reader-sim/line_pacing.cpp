#include "reader-sim/line_pacing.h"

#include <algorithm>

#include "app/clock.h"
#include "reader-sim/link_pause.h"

namespace orvane::sim {

uint64_t SerialLineTiming::WireUs(size_t count) const {
  if (baud_ == 0) return 0;
  return static_cast<uint64_t>(count) * kBitsPerSerialByte * 1'000'000 / baud_;
}

size_t SerialLineTiming::BytesIn(uint64_t us) const {
  if (baud_ == 0) return SIZE_MAX;
  return static_cast<size_t>(us * baud_ / (uint64_t{kBitsPerSerialByte} * 1'000'000));
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

bool WritePaced(SerialLineTiming& timing, LinkPause& pause, size_t count,
                const std::function<bool(size_t offset, size_t length)>& write) {
  if (!timing.Paced()) return count == 0 || write(0, count);
  const uint64_t startUs = timing.Enqueue(TickMs(), count);
  size_t sent = 0;
  while (sent < count) {
    const uint64_t nowUs = TickMs() * 1000;
    const size_t due = nowUs > startUs ? std::min(count, timing.BytesIn(nowUs - startUs)) : 0;
    if (due > sent) {
      if (!write(sent, due - sent)) return false;
      sent = due;
      continue;
    }
    // Until the next byte is through.
    const uint64_t nextUs = startUs + timing.WireUs(sent + 1);
    if (!PauseUntil(pause, (nextUs + 999) / 1000)) return false;
  }
  return true;
}

uint64_t ReportSlots::Next(uint64_t nowMs) {
  lastMs_ = std::max(nowMs, lastMs_) + intervalMs_;
  return lastMs_;
}

}  // namespace orvane::sim
