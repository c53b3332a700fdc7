#pragma once
// The module files of the three firmware folders as the command line shows
// them: one row per file, numbered as the desktop program's file list.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/program_files.h"
#include "firmware/firmware_file.h"
#include "firmware/module_discovery.h"

namespace orvane::cli {

enum class ModuleGroup { Application, Bootloader, Kernel, UniApp };

struct ModuleRow {
  int row = 0;
  std::string name;
  std::string info;
  ModuleGroup group = ModuleGroup::Application;
  int moduleNumber = -1;           // kernel and UniApp: the number that names the module to the reader
  std::string path;                // folder + "/" + name
  int pieces = 0;                  // transfer packets the module makes (from its header or size)
  uint64_t bytes = 0;              // file size
  std::vector<std::string> notes;  // why it can never be loaded as expected (send_limits.h)
};

// The rows of lists that a search filled; `infoByRow` gives each row's info text.
std::vector<ModuleRow> RowsOf(const ModuleLists& lists, const std::map<int, std::string>& infoByRow);

// Searches the folders into `lists` (application, kernel, UniApp, in that
// order) and returns the rows. The searches' own complaints go to standard error.
std::vector<ModuleRow> DiscoverModules(const ProgramFiles& files, ModuleLists& lists, FirmwareFile& file);

const char* GroupName(ModuleGroup group);  // "application", "bootloader", "kernel", "UniApp"
// "kernel 5" for a kernel module; the group name otherwise.
std::string KindText(const ModuleRow& row);

}  // namespace orvane::cli
