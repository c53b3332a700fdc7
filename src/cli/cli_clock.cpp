#include "cli/cli_clock.h"

#include <cstdlib>
#include <string>

#include "app/clock.h"

namespace orvane::cli {

bool InstallClockFromEnvironment() {
  const char* text = std::getenv(kClockScaleVariable);
  if (!text || !*text) return true;
  char* end = nullptr;
  long scale = std::strtol(text, &end, 10);
  if (*end != '\0' || scale < 1 || scale > 1000) return false;
  if (scale == 1) return true;
  // Lives to the end of the process: worker threads may still read the clock during exit.
  static ScaledClock* clock = new ScaledClock(static_cast<uint32_t>(scale));
  SetClock(clock);
  return true;
}

}  // namespace orvane::cli
