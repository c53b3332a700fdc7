#pragma once
// Module files in a program folder's three firmware folders, made with the
// project's module writer.

#include <filesystem>
#include <string>

#include "app/program_folder.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"

namespace orvane::test {

inline std::string FirmwareFolderOf(const std::string& programFolder, const char* folderName) {
  std::string folder = PathInFolder(programFolder, folderName);
  std::filesystem::create_directories(folder);
  return folder;
}

// An application or bootloader module (".fm" file with its header).
inline ModuleSpec AppModuleSpec(bool pci, uint16_t blockCount = 4, std::string info = "V1.00") {
  ModuleSpec spec;
  spec.securityType = pci ? "pci   " : "nonpci";
  spec.infoText = std::move(info);
  spec.blockSize = 256;
  spec.blockCount = blockCount;
  return spec;
}

inline bool AddAppModule(const std::string& programFolder, const std::string& name, const ModuleSpec& spec) {
  return WriteModuleFile(PathInFolder(FirmwareFolderOf(programFolder, kAppFolderName), name), spec);
}

inline bool AddKernelModule(const std::string& programFolder, const std::string& name, size_t length,
                            uint32_t seed = 1) {
  return WriteRawModuleFile(PathInFolder(FirmwareFolderOf(programFolder, kKernelFolderName), name), length, seed);
}

inline bool AddUniAppModule(const std::string& programFolder, const std::string& name, size_t length,
                            uint32_t seed = 2) {
  return WriteRawModuleFile(PathInFolder(FirmwareFolderOf(programFolder, kUniAppFolderName), name), length, seed);
}

}  // namespace orvane::test
