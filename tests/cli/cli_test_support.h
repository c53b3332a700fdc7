#pragma once
// Running orvane-bootload-cli from the tests.

#include <string>
#include <vector>

#include "support/child_process.h"

namespace orvane::test {

std::string CliPath();
std::string SimulatorPath();  // empty when the simulated reader is not built
std::string SourcePath(const std::string& relative);

// Runs the command line with `args`; the user's configuration folder is
// replaced by `xdgConfigHome` (an empty folder of the test when not given) so
// that nothing of the machine's leaks in.
ProcessResult RunCli(const std::vector<std::string>& args, const std::string& xdgConfigHome,
                     std::map<std::string, std::string> env = {});

}  // namespace orvane::test
