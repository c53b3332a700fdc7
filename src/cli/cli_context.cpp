#include "cli/cli_context.h"

#include <memory>
#include <mutex>
#include <string>

#include "cli/usage.h"
#include "transport/message_hook.h"

namespace orvane::cli {

bool LoadSettings(const CliContext& context, BootloadSettings& settings) {
  if (LoadBootloadSettingsFromPath(settings, context.files.configPath)) return true;
  std::fprintf(context.err, "%s\n", kConfigurationFormatError);
  return false;
}

void PrintError(const CliContext& context, const std::string& message) {
  std::fprintf(context.err, "%s: %s\n", kProgramName, message.c_str());
}

void ReportLinkProblemsAsErrors(const CliContext& context) {
  struct Last {
    std::mutex mutex;
    std::string line;
  };
  SetLinkProblemHook([err = context.err, last = std::make_shared<Last>()](const LinkProblem& problem) {
    const std::string line = LinkProblemLine(problem);
    std::lock_guard lock(last->mutex);
    if (line == last->line) return;
    last->line = line;
    std::fprintf(err, "%s: %s\n", kProgramName, line.c_str());
  });
}

}  // namespace orvane::cli
