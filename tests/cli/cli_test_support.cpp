#include "cli_test_support.h"

namespace orvane::test {

std::string CliPath() { return ORVANE_CLI_EXE; }
std::string SimulatorPath() { return ORVANE_SIM_EXE; }
std::string SourcePath(const std::string& relative) { return std::string(ORVANE_SOURCE_DIR) + "/" + relative; }

ProcessResult RunCli(const std::vector<std::string>& args, const std::string& xdgConfigHome,
                     std::map<std::string, std::string> env) {
  ProcessSpec spec;
  spec.args.push_back(CliPath());
  spec.args.insert(spec.args.end(), args.begin(), args.end());
  spec.env = std::move(env);
  spec.env["XDG_CONFIG_HOME"] = xdgConfigHome;
  spec.env["XDG_STATE_HOME"] = xdgConfigHome + "/state";
  spec.unsetEnv.push_back("ORVANE_CLOCK_SCALE");
  return RunProcess(spec);
}

}  // namespace orvane::test
