#pragma once
// Progress of one module transfer as the command line shows it: a bar with
// percent, blocks, throughput and time left on a terminal, and one plain line
// per 10 percent elsewhere. The engine reports percentages; blocks and bytes
// are derived from the module's size.

#include <cstdint>
#include <optional>
#include <string>

namespace orvane::cli {

class ProgressMeter {
 public:
  void Start(std::string name, int totalBlocks, uint64_t totalBytes, uint64_t nowMs);
  // False when the percentage did not change.
  bool Update(int percent, uint64_t nowMs);

  const std::string& name() const { return name_; }
  int percent() const { return percent_; }
  int totalBlocks() const { return totalBlocks_; }
  // Blocks sent so far, from the percentage (exact at 0 and 100).
  int blocksDone() const;
  double BytesPerSecond() const;
  std::optional<uint64_t> SecondsLeft() const;

  // "name [#####.....]  52%  13/25 blocks  12.3 kB/s  0:02 left", at most `width` characters.
  std::string BarLine(int width) const;
  // "name: 50% (13/25 blocks)".
  std::string PlainLine() const;
  // The plain line is due: the percentage reached a new multiple of 10.
  bool PlainLineDue() const { return percent_ / 10 > lastPlainStep_; }
  void PlainLinePrinted() { lastPlainStep_ = percent_ / 10; }

 private:
  std::string name_;
  int totalBlocks_ = 0;
  uint64_t totalBytes_ = 0;
  uint64_t startMs_ = 0;
  uint64_t nowMs_ = 0;
  int percent_ = 0;
  int lastPlainStep_ = 0;
};

// "12.3 kB/s", "850 B/s", "1.20 MB/s".
std::string FormatRate(double bytesPerSecond);
// "0:07", "12:30", "1:02:03".
std::string FormatDuration(uint64_t seconds);

}  // namespace orvane::cli
