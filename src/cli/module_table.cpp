#include "cli/module_table.h"

#include <map>

#include "app/program_folder.h"
#include "cli/stdout_diversion.h"

namespace orvane::cli {
namespace {

class RowCollector final : public ModuleRowSink {
 public:
  void InsertRow(int row, const std::string& name, const std::string& info) override { rows[row] = {name, info}; }
  std::map<int, std::pair<std::string, std::string>> rows;
};

void AddRows(const std::vector<ModuleFile>& modules, const std::string& folder, const RowCollector& collector,
             std::vector<ModuleRow>& out, bool kernelOrUniApp, ModuleGroup group) {
  for (const auto& m : modules) {
    ModuleRow r;
    r.row = m.row;
    r.name = m.name;
    if (auto it = collector.rows.find(m.row); it != collector.rows.end()) r.info = it->second.second;
    r.group = kernelOrUniApp ? group : (m.isBootloader ? ModuleGroup::Bootloader : ModuleGroup::Application);
    if (kernelOrUniApp) r.moduleNumber = static_cast<int>(m.kind);
    r.path = PathInFolder(folder, m.name);
    out.push_back(std::move(r));
  }
}

}  // namespace

std::vector<ModuleRow> DiscoverModules(const ProgramFiles& files, ModuleLists& lists, FirmwareFile& file) {
  RowCollector collector;
  lists.appFolder = files.appFolder;
  lists.kernelFolder = files.kernelFolder;
  lists.uniAppFolder = files.uniAppFolder;
  lists.listedFileCount = 0;
  {
    StdoutDiversion diversion;
    lists.SearchAppFolder(lists.appFolder, file, collector);
    lists.SearchKernelFolder(lists.kernelFolder, collector);
    lists.SearchUniAppFolder(lists.uniAppFolder, collector);
  }
  std::vector<ModuleRow> rows;
  AddRows(lists.appModules, lists.appFolder, collector, rows, false, ModuleGroup::Application);
  AddRows(lists.kernelModules, lists.kernelFolder, collector, rows, true, ModuleGroup::Kernel);
  AddRows(lists.uniAppModules, lists.uniAppFolder, collector, rows, true, ModuleGroup::UniApp);
  return rows;
}

const char* GroupName(ModuleGroup group) {
  switch (group) {
    case ModuleGroup::Application: return "application";
    case ModuleGroup::Bootloader: return "bootloader";
    case ModuleGroup::Kernel: return "kernel";
    case ModuleGroup::UniApp: return "UniApp";
  }
  return "";
}

std::string KindText(const ModuleRow& row) {
  if (row.group == ModuleGroup::Kernel) return "kernel " + std::to_string(row.moduleNumber);
  return GroupName(row.group);
}

}  // namespace orvane::cli
