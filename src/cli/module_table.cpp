#include "cli/module_table.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "app/program_folder.h"
#include "cli/send_limits.h"
#include "cli/stdout_diversion.h"

namespace orvane::cli {
namespace {

class RowCollector final : public ModuleRowSink {
 public:
  void InsertRow(int row, const std::string& name, const std::string& info) override {
    (void)name;
    infoByRow[row] = info;
  }
  std::map<int, std::string> infoByRow;
};

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

// Pieces and notes of an application or bootloader module, from its header.
void JudgeAppModule(ModuleRow& row) {
  FirmwareFile file;
  if (file.JudgeModuleFile(row.path) != ParseResult::Ok) return;
  row.pieces = static_cast<int>(file.Fit().pieces);
  row.notes = ModuleNotes(file);
}

void AddRows(const std::vector<ModuleFile>& modules, const std::string& folder,
             const std::map<int, std::string>& infoByRow, std::vector<ModuleRow>& out, bool kernelOrUniApp,
             ModuleGroup group) {
  for (const auto& m : modules) {
    ModuleRow r;
    r.row = m.row;
    r.name = m.name;
    if (auto it = infoByRow.find(m.row); it != infoByRow.end()) r.info = it->second;
    r.group = kernelOrUniApp ? group : (m.isBootloader ? ModuleGroup::Bootloader : ModuleGroup::Application);
    if (kernelOrUniApp) r.moduleNumber = static_cast<int>(m.kind);
    r.path = PathInFolder(folder, m.name);
    r.bytes = FileSize(r.path);
    if (kernelOrUniApp) {
      r.pieces = static_cast<int>((r.bytes + kRawChunkLength - 1) / kRawChunkLength);
      r.notes = RawNotes(r.bytes);
      if (group == ModuleGroup::Kernel) {
        for (std::string& note : KernelNameNotes(m.name)) r.notes.push_back(std::move(note));
      }
    } else {
      JudgeAppModule(r);
    }
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
  return RowsOf(lists, collector.infoByRow);
}

std::vector<ModuleRow> RowsOf(const ModuleLists& lists, const std::map<int, std::string>& infoByRow) {
  std::vector<ModuleRow> rows;
  AddRows(lists.appModules, lists.appFolder, infoByRow, rows, false, ModuleGroup::Application);
  AddRows(lists.kernelModules, lists.kernelFolder, infoByRow, rows, true, ModuleGroup::Kernel);
  AddRows(lists.uniAppModules, lists.uniAppFolder, infoByRow, rows, true, ModuleGroup::UniApp);
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
