#include "cli/program_files.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/bootload_settings.h"
#include "app/program_folder.h"
#include "firmware/module_discovery.h"

namespace orvane::cli {
namespace {

std::string UserConfigFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    return std::string(xdg) + "/orvane-bootload";
  }
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/orvane-bootload";
  return {};
}

}  // namespace

std::vector<std::string> SearchFolders(const std::string& programFolder) {
  std::vector<std::string> folders;
  folders.push_back(programFolder);
  if (std::string user = UserConfigFolder(); !user.empty()) folders.push_back(user);
  folders.push_back(kSystemConfigFolder);
  return folders;
}

std::string FindInSearchFolders(const std::vector<std::string>& folders, const std::string& name, bool wantFolder) {
  for (const auto& folder : folders) {
    std::error_code ec;
    auto status = std::filesystem::status(PathInFolder(folder, name), ec);
    if (ec) continue;
    if (wantFolder ? std::filesystem::is_directory(status) : std::filesystem::exists(status)) {
      return PathInFolder(folder, name);
    }
  }
  return PathInFolder(folders.front(), name);
}

ProgramFiles LocateProgramFiles(const CliOptions& options, const std::string& programFolder) {
  const auto folders = SearchFolders(programFolder);
  ProgramFiles files;
  files.programFolder = programFolder;
  files.configPath =
      options.configFile.empty() ? FindInSearchFolders(folders, kConfigurationFileName, false) : options.configFile;
  files.appFolder = options.appFolder.empty() ? FindInSearchFolders(folders, kAppFolderName, true) : options.appFolder;
  files.kernelFolder =
      options.kernelFolder.empty() ? FindInSearchFolders(folders, kKernelFolderName, true) : options.kernelFolder;
  files.uniAppFolder =
      options.uniAppFolder.empty() ? FindInSearchFolders(folders, kUniAppFolderName, true) : options.uniAppFolder;
  return files;
}

}  // namespace orvane::cli
