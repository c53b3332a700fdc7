#pragma once
// Where the command line finds the configuration and the firmware folders:
// beside the program first (as the desktop program does), then in the user's
// configuration folder, then in the system's.

#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace orvane::cli {

inline constexpr const char* kSystemConfigFolder = "/etc/orvane-bootload";

struct ProgramFiles {
  std::string programFolder;
  std::string configPath;
  std::string appFolder;
  std::string kernelFolder;
  std::string uniAppFolder;
};

// The folders searched, in order: the program folder, $XDG_CONFIG_HOME/orvane-bootload
// (default ~/.config/orvane-bootload), /etc/orvane-bootload.
std::vector<std::string> SearchFolders(const std::string& programFolder);

// The first search folder holding `name` (a file when `wantFolder` is false,
// a folder otherwise); the program folder's path when none does.
std::string FindInSearchFolders(const std::vector<std::string>& folders, const std::string& name, bool wantFolder);

// Applies --config and the folder options over the search.
ProgramFiles LocateProgramFiles(const CliOptions& options, const std::string& programFolder);

}  // namespace orvane::cli
