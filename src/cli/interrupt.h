#pragma once
// Ctrl+C and SIGTERM during a reader command: the first asks the run to stop
// cleanly (at the next block boundary, with the log written); a second one
// ends the program at once.

namespace orvane::cli {

void InstallInterruptHandler();
bool InterruptRequested();

}  // namespace orvane::cli
