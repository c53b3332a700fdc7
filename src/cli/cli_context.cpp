#include "cli/cli_context.h"

#include "cli/usage.h"

namespace orvane::cli {

bool LoadSettings(const CliContext& context, BootloadSettings& settings) {
  if (LoadBootloadSettingsFromPath(settings, context.files.configPath)) return true;
  std::fprintf(context.err, "%s\n", kConfigurationFormatError);
  return false;
}

void PrintError(const CliContext& context, const std::string& message) {
  std::fprintf(context.err, "%s: %s\n", kProgramName, message.c_str());
}

}  // namespace orvane::cli
