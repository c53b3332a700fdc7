// Commands whose core parts are still being written.

#include "cli/commands.h"
#include "cli/exit_status.h"

namespace orvane::cli {
namespace {

int NotYet(CliContext& context, const char* name) {
  PrintError(context, std::string("'") + name + "' is not available in this build yet");
  return kExitFailed;
}

}  // namespace

int RunPorts(CliContext& context) { return NotYet(context, "ports"); }
int RunInfo(CliContext& context) { return NotYet(context, "info"); }
int RunUpdate(CliContext& context) { return NotYet(context, "update"); }

}  // namespace orvane::cli
