#include "cli/progress_meter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orvane::cli {

std::string FormatRate(double bytesPerSecond) {
  char buf[32];
  if (bytesPerSecond >= 1e6) std::snprintf(buf, sizeof buf, "%.2f MB/s", bytesPerSecond / 1e6);
  else if (bytesPerSecond >= 1e3) std::snprintf(buf, sizeof buf, "%.1f kB/s", bytesPerSecond / 1e3);
  else std::snprintf(buf, sizeof buf, "%.0f B/s", bytesPerSecond);
  return buf;
}

std::string FormatDuration(uint64_t seconds) {
  char buf[32];
  if (seconds >= 3600) {
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return buf;
}

void ProgressMeter::Start(std::string name, int totalBlocks, uint64_t totalBytes, uint64_t nowMs) {
  name_ = std::move(name);
  totalBlocks_ = std::max(totalBlocks, 0);
  totalBytes_ = totalBytes;
  startMs_ = nowMs_ = nowMs;
  percent_ = 0;
  lastPlainStep_ = 0;
}

bool ProgressMeter::Update(int percent, uint64_t nowMs) {
  percent = std::clamp(percent, 0, 100);
  nowMs_ = std::max(nowMs, startMs_);
  if (percent == percent_) return false;
  percent_ = percent;
  return true;
}

int ProgressMeter::blocksDone() const {
  // The engine's percentage is rounded down, so this is the fewest blocks it can stand for.
  return static_cast<int>((static_cast<int64_t>(percent_) * totalBlocks_ + 99) / 100);
}

double ProgressMeter::BytesPerSecond() const {
  const uint64_t elapsed = nowMs_ - startMs_;
  if (elapsed == 0) return 0;
  return static_cast<double>(totalBytes_) * percent_ / 100.0 * 1000.0 / static_cast<double>(elapsed);
}

std::optional<uint64_t> ProgressMeter::SecondsLeft() const {
  if (percent_ <= 0) return std::nullopt;
  const uint64_t elapsed = nowMs_ - startMs_;
  return elapsed * static_cast<uint64_t>(100 - percent_) / static_cast<uint64_t>(percent_) / 1000;
}

std::string ProgressMeter::BarLine(int width) const {
  // Fixed-width fields, so that the bar keeps its length while it fills.
  const int digits = static_cast<int>(std::to_string(totalBlocks_).size());
  const auto left = SecondsLeft();
  char tail[128];
  std::snprintf(tail, sizeof tail, " %3d%%  %*d/%d blocks  %10s  %7s left", percent_, digits, blocksDone(),
                totalBlocks_, FormatRate(BytesPerSecond()).c_str(), left ? FormatDuration(*left).c_str() : "-:--");
  std::string label = name_.size() > 28 ? name_.substr(0, 25) + "..." : name_;
  const int fixed = static_cast<int>(label.size() + 3 + std::strlen(tail));
  const int barWidth = std::clamp(width - 1 - fixed, 0, 40);
  std::string line = label;
  if (barWidth >= 5) {
    const int filled = barWidth * percent_ / 100;
    line += " [" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
  }
  line += tail;
  if (static_cast<int>(line.size()) >= width) line.resize(width > 1 ? width - 1 : 0);
  return line;
}

std::string ProgressMeter::PlainLine() const {
  return name_ + ": " + std::to_string(percent_) + "% (" + std::to_string(blocksDone()) + "/" +
         std::to_string(totalBlocks_) + " blocks)";
}

}  // namespace orvane::cli
