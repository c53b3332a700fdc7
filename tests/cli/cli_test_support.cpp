#include "cli_test_support.h"

namespace orvane::test {

std::string CliPath() { return ORVANE_CLI_EXE; }
std::string SimulatorPath() { return ORVANE_SIM_EXE; }
std::string SourcePath(const std::string& relative) { return std::string(ORVANE_SOURCE_DIR) + "/" + relative; }

ProcessSpec CliTest::CliSpec(const std::vector<std::string>& args) const {
  ProcessSpec spec;
  spec.args = {CliPath()};
  spec.args.insert(spec.args.end(), lead_.begin(), lead_.end());
  spec.args.insert(spec.args.end(), args.begin(), args.end());
  spec.env = {{"ORVANE_CLOCK_SCALE", kScale}, {"XDG_CONFIG_HOME", home_.path()}, {"XDG_STATE_HOME", home_.File("state")}};
  spec.limit = std::chrono::seconds(60);
  return spec;
}

ProcessResult CliTest::Cli(const std::vector<std::string>& args, std::string input, bool terminal) const {
  ProcessSpec spec = CliSpec(args);
  spec.input = std::move(input);
  spec.stdoutIsTerminal = terminal;
  return RunProcess(spec);
}

}  // namespace orvane::test
