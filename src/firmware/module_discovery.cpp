#include "firmware/module_discovery.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/program_folder.h"
#include "firmware/firmware_file.h"

namespace orvane {
namespace {

// Tested in this order; the first text found in the name decides.
constexpr std::array<std::pair<std::string_view, ModuleKind>, 13> kKindTable{{
    {"ct_l2", ModuleKind::CtL2},
    {"nfcrd_l2_ppse", ModuleKind::NfcPpse},
    {"nfcrd_l2_vcps", ModuleKind::NfcVcps},
    {"nfcrd_l2_mchip", ModuleKind::NfcMchip},
    {"nfcrd_l2_dpass", ModuleKind::NfcDpass},
    {"nfcrd_l2_amex", ModuleKind::NfcAmex},
    {"nfcrd_l2_interac", ModuleKind::NfcInterac},
    {"nfcrd_l2_cup", ModuleKind::NfcCup},
    {"nfcrd_l2_jcb", ModuleKind::NfcJcb},
    {"nfcrd_l2_apvas", ModuleKind::NfcApvas},
    {"nfcrd_l2_smarttap", ModuleKind::NfcSmarttap},
    {"payment_SDK", ModuleKind::PaymentSdk},
    {"payment_App", ModuleKind::PaymentApp},
}};

struct FolderEntry {
  std::string name;
  bool regularFile = false;
};

// The "*.fm" entries of `folder`, sorted by name; false when the folder
// cannot be read or holds no such entry (folders matching the pattern count
// as a match but are not regular files).
bool ListModuleEntries(const std::string& folder, std::vector<FolderEntry>& out) {
  out.clear();
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return false;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (name == "." || name == ".." || !MatchesModulePattern(name)) continue;
    std::error_code typeError;
    bool regular = it->is_regular_file(typeError);  // follows symbolic links
    out.push_back({std::move(name), regular && !typeError});
  }
  std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return !out.empty();
}

void ReportSearchFailed(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

ModuleKind ModuleKindFromName(std::string_view name) {
  for (const auto& [text, kind] : kKindTable) {
    if (name.find(text) != std::string_view::npos) return kind;
  }
  return ModuleKind::CtL2;
}

bool NamesModuleKind(std::string_view name) {
  return std::any_of(kKindTable.begin(), kKindTable.end(),
                     [&](const auto& entry) { return name.find(entry.first) != std::string_view::npos; });
}

bool MatchesModulePattern(std::string_view name) {
  constexpr std::string_view kExtension = ".fm";
  if (name.size() < kExtension.size()) return false;
  std::string_view tail = name.substr(name.size() - kExtension.size());
  return tail[0] == '.' && (tail[1] == 'f' || tail[1] == 'F') && (tail[2] == 'm' || tail[2] == 'M');
}

void ModuleLists::InitFirmwareFolders(const std::string& programFolder, FirmwareFile& file, ModuleRowSink& sink) {
  appModules.clear();
  kernelModules.clear();
  uniAppModules.clear();
  appFolder = PathInFolder(programFolder, kAppFolderName);
  kernelFolder = PathInFolder(programFolder, kKernelFolderName);
  uniAppFolder = PathInFolder(programFolder, kUniAppFolderName);
  SearchAll(file, sink);
}

void ModuleLists::SearchAppFolder(const std::string& folder, FirmwareFile& file, ModuleRowSink& sink) {
  appModules.clear();
  std::vector<FolderEntry> entries;
  if (!ListModuleEntries(folder, entries)) {
    ReportSearchFailed("search file failed!");
    return;
  }
  for (const FolderEntry& entry : entries) {
    if (!entry.regularFile) continue;
    // Files that fail the header checks, or cannot be read at all, get no
    // row. A row needs no more than the header and the info text: the body
    // is read when the module is sent.
    if (file.JudgeModuleFile(PathInFolder(folder, entry.name)) != ParseResult::Ok) continue;
    ModuleFile record;
    record.name = entry.name;
    record.row = listedFileCount;
    record.isBootloader = entry.name.find("bootloader") != std::string::npos;
    appModules.push_back(record);
    sink.InsertRow(listedFileCount, entry.name, file.infoText);
    ++listedFileCount;
  }
}

void ModuleLists::SearchKernelFolder(const std::string& folder, ModuleRowSink& sink) {
  kernelModules.clear();
  std::vector<FolderEntry> entries;
  if (!ListModuleEntries(folder, entries)) {
    ReportSearchFailed("Search file failed!");
    return;
  }
  for (const FolderEntry& entry : entries) {
    if (!entry.regularFile || !entry.name.starts_with("app_")) continue;
    ModuleFile record;
    record.name = entry.name;
    record.row = listedFileCount;
    record.kind = ModuleKindFromName(entry.name);
    kernelModules.push_back(record);
    sink.InsertRow(listedFileCount, entry.name, kKernelInfoText);
    ++listedFileCount;
  }
}

void ModuleLists::SearchUniAppFolder(const std::string& folder, ModuleRowSink& sink) {
  uniAppModules.clear();
  std::vector<FolderEntry> entries;
  if (!ListModuleEntries(folder, entries)) {
    ReportSearchFailed("Search file failed!");
    return;
  }
  for (const FolderEntry& entry : entries) {
    size_t at = entry.name.find(".fm");
    if (!entry.regularFile || at == std::string::npos || at == 0) continue;
    ModuleFile record;
    record.name = entry.name;
    record.row = listedFileCount;
    record.kind = ModuleKind::UniApp;
    uniAppModules.push_back(record);
    sink.InsertRow(listedFileCount, entry.name, kUniAppInfoText);
    ++listedFileCount;
  }
}

void ModuleLists::ChooseAppFolder(const std::string& folder, FirmwareFile& file, ModuleRowSink& sink) {
  listedFileCount = 0;
  appFolder = folder;
  SearchAll(file, sink);
}

void ModuleLists::ChooseKernelFolder(const std::string& folder, FirmwareFile& file, ModuleRowSink& sink) {
  listedFileCount = 0;
  kernelFolder = folder;
  SearchAll(file, sink);
}

void ModuleLists::SearchAll(FirmwareFile& file, ModuleRowSink& sink) {
  SearchAppFolder(appFolder, file, sink);
  SearchKernelFolder(kernelFolder, sink);
  SearchUniAppFolder(uniAppFolder, sink);
}

}  // namespace orvane
