// orvane-bootload-cli: the command line over the core library.

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/program_folder.h"
#include "cli/cli_clock.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/usage.h"

using namespace orvane;
using namespace orvane::cli;

namespace {

int Dispatch(CliContext& context) {
  switch (context.options.command) {
    case Command::Ports: return RunPorts(context);
    case Command::Info: return RunInfo(context);
    case Command::List: return RunList(context);
    case Command::Inspect: return RunInspect(context);
    case Command::Update: return RunUpdate(context);
    case Command::UdevRules: return RunUdevRules(context);
    case Command::MakeDemo: return RunMakeDemo(context);
    case Command::None: break;
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s (see --help)\n", kProgramName, parsed.error.c_str());
    return kExitUsage;
  }
  if (parsed.options.help) {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (parsed.options.version) {
    PrintVersion(stdout);
    return kExitOk;
  }
  if (!InstallClockFromEnvironment()) {
    std::fprintf(stderr, "%s: %s must be a whole number from 1 to 1000\n", kProgramName, kClockScaleVariable);
    return kExitUsage;
  }

  CliContext context;
  context.options = std::move(parsed.options);
  ReportLinkProblemsAsErrors(context);
  if (!context.options.folder.empty()) {
    std::error_code ec;
    auto folder = std::filesystem::absolute(context.options.folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
      PrintError(context, "--folder: no such folder: " + context.options.folder);
      return kExitUsage;
    }
    SetProgramFolderOverride(folder.lexically_normal().string());
  }
  context.files = LocateProgramFiles(context.options, ProgramFolder());
  return Dispatch(context);
}
