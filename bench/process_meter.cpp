#include "process_meter.h"

#include <chrono>

namespace orvane::bench {
namespace {

uint64_t Microseconds(const timeval& t) {
  return static_cast<uint64_t>(t.tv_sec) * 1'000'000 + static_cast<uint64_t>(t.tv_usec);
}

uint64_t UsageCpuUs(int who) {
  rusage usage{};
  if (::getrusage(who, &usage) != 0) return 0;
  return CpuUs(usage);
}

}  // namespace

uint64_t CpuUs(const rusage& usage) { return Microseconds(usage.ru_utime) + Microseconds(usage.ru_stime); }

uint64_t ProcessCpuUs() { return UsageCpuUs(RUSAGE_SELF); }

uint64_t ThreadCpuUs() { return UsageCpuUs(RUSAGE_THREAD); }

uint64_t PeakRssKb() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss);
}

uint64_t WallUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace orvane::bench
