#include "cli/commands.h"
#include "cli/demo_folder.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"
#include "cli/terminal_text.h"

namespace orvane::cli {

int RunMakeDemo(CliContext& context) {
  const std::string& folder = context.options.arguments.front();
  const int port = context.options.demoPort.value_or(kDefaultDemoPort);
  DemoFolderResult result = MakeDemoFolder(folder, port);
  if (!result.ok) {
    PrintError(context, result.error);
    return kExitUsage;
  }
  if (context.options.json) {
    JsonWriter json;
    json.BeginObject().Field("folder", folder).Field("tcpPort", port).Key("files").BeginArray();
    for (const auto& f : result.files) json.String(f);
    json.EndArray().EndObject();
    std::fprintf(context.out, "%s\n", json.Text().c_str());
  } else {
    std::fprintf(context.out, "Demo folder %s: the simulated reader on 127.0.0.1:%d\n", Printable(folder).c_str(),
                 port);
    for (const auto& f : result.files) std::fprintf(context.out, "  %s\n", Printable(f).c_str());
  }
  return kExitOk;
}

}  // namespace orvane::cli
