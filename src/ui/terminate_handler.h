#pragma once
// An error that nothing handled ends the program at once and quietly, with
// exit status 1, instead of an abort with a core dump.

namespace orvane {

void InstallQuietTerminateHandler();

}  // namespace orvane
