#include <algorithm>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"
#include "cli/module_table.h"
#include "cli/terminal_text.h"

namespace orvane::cli {
namespace {

void PrintJson(const CliContext& context, const std::vector<ModuleRow>& rows) {
  JsonWriter json;
  json.BeginObject();
  json.Key("folders")
      .BeginObject()
      .Field("application", context.files.appFolder)
      .Field("kernel", context.files.kernelFolder)
      .Field("uniapp", context.files.uniAppFolder)
      .EndObject();
  json.Key("modules").BeginArray();
  for (const auto& r : rows) {
    json.BeginObject().Field("row", r.row).Field("name", r.name).Field("kind", GroupName(r.group));
    json.Key("module");
    if (r.moduleNumber >= 0) json.Int(r.moduleNumber);
    else json.Null();
    json.Field("info", r.info).Field("path", r.path);
    json.Key("notes").BeginArray();
    for (const auto& note : r.notes) json.String(note);
    json.EndArray().EndObject();
  }
  json.EndArray().EndObject();
  std::fprintf(context.out, "%s\n", json.Text().c_str());
}

void PrintTable(const CliContext& context, const std::vector<ModuleRow>& rows) {
  std::fprintf(context.out, "Application folder: %s\nKernel folder:      %s\nUniApp folder:      %s\n\n",
               Printable(context.files.appFolder).c_str(), Printable(context.files.kernelFolder).c_str(),
               Printable(context.files.uniAppFolder).c_str());
  if (rows.empty()) {
    std::fprintf(context.out, "No module files found.\n");
    return;
  }
  size_t nameWidth = 4, kindWidth = 4;
  for (const auto& r : rows) {
    nameWidth = std::max(nameWidth, Printable(r.name).size());
    kindWidth = std::max(kindWidth, KindText(r).size());
  }
  std::fprintf(context.out, "%s  %s  INFO\n", PadRight("NAME", nameWidth).c_str(), PadRight("KIND", kindWidth).c_str());
  for (const auto& r : rows) {
    std::fprintf(context.out, "%s  %s  %s\n", PadRight(Printable(r.name), nameWidth).c_str(),
                 PadRight(KindText(r), kindWidth).c_str(), Printable(r.info).c_str());
    for (const auto& note : r.notes) std::fprintf(context.out, "  %s\n", note.c_str());
  }
}

}  // namespace

int RunList(CliContext& context) {
  ModuleLists lists;
  FirmwareFile file;
  auto rows = DiscoverModules(context.files, lists, file);
  if (context.options.json) PrintJson(context, rows);
  else PrintTable(context, rows);
  return kExitOk;
}

}  // namespace orvane::cli
