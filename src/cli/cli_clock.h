#pragma once
// Testing aid: ORVANE_CLOCK_SCALE=N (2 to 1000) runs the program's pauses and
// time-outs N times faster, so that whole updates with their fixed pauses of
// seconds finish quickly against the simulated reader. Not for real readers:
// their reboots take real time.

namespace orvane::cli {

inline constexpr const char* kClockScaleVariable = "ORVANE_CLOCK_SCALE";

// Installs the scaled clock when the variable holds a usable factor. Returns
// false (and installs nothing) when it is set to something else.
bool InstallClockFromEnvironment();

}  // namespace orvane::cli
