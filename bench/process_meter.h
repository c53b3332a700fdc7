#pragma once
// What a benchmark reads about its own process: CPU time, peak resident
// memory, and a wall clock for whole runs.

#include <sys/resource.h>

#include <cstdint>

namespace orvane::bench {

// User plus system time of the whole process, in microseconds.
uint64_t ProcessCpuUs();
// User plus system time of the calling thread, in microseconds.
uint64_t ThreadCpuUs();
// The process's peak resident set so far, in kilobytes.
uint64_t PeakRssKb();
// User plus system time in a rusage record, in microseconds.
uint64_t CpuUs(const rusage& usage);
// Monotonic wall time in microseconds.
uint64_t WallUs();

}  // namespace orvane::bench
