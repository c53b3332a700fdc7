#include <string>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"
#include "cli/udev_rules.h"

namespace orvane::cli {

int RunUdevRules(CliContext& context) {
  BootloadSettings settings;
  if (!LoadSettings(context, settings)) return kExitUsage;
  const std::string rules = UdevRulesText(settings.vidPidList);
  if (context.options.json) {
    JsonWriter json;
    json.BeginObject().Field("file", kUdevRulesFileName).Field("rules", rules).EndObject();
    std::fprintf(context.out, "%s\n", json.Text().c_str());
  } else {
    std::fputs(rules.c_str(), context.out);
  }
  return kExitOk;
}

}  // namespace orvane::cli
