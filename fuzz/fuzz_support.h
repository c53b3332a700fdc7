#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "app/clock.h"

namespace orvane::fuzz {

// A check that holds for every input; a broken one is reported like a crash.
#define ORVANE_FUZZ_CHECK(condition)                                                   \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// Writes `bytes` to a file in a private temporary folder of this process and
// returns its path; the same name is reused by every call with that name.
std::string WriteScratchFile(const std::string& name, std::span<const uint8_t> bytes);

// The temporary folder of this process (created on first use, removed at exit).
const std::string& ScratchFolder();

// Installs a manual clock for the whole process, so that no input makes a
// target wait in real time. Returns it for targets that look at the pauses.
ManualClock& UseManualClock();

// Cuts `bytes` into segments whose lengths come from `lengths` (one byte per
// segment, 0 meaning 1); the last segment takes the rest. Models a stream
// that arrives in arbitrary pieces.
std::vector<std::span<const uint8_t>> Segments(std::span<const uint8_t> bytes, std::span<const uint8_t> lengths);

}  // namespace orvane::fuzz
