#include "app/program_folder.h"

#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

namespace orvane {
namespace {

std::mutex g_overrideMutex;
std::string g_override;

}  // namespace

std::string ProgramFolder() {
  {
    std::lock_guard lock(g_overrideMutex);
    if (!g_override.empty()) return g_override;
  }
  std::error_code ec;
  auto exe = std::filesystem::canonical("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path().string();
}

void SetProgramFolderOverride(std::string folder) {
  std::lock_guard lock(g_overrideMutex);
  g_override = std::move(folder);
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
  // A name that is not one plain entry of the folder could lead out of it.
  const bool plain = !name.empty() && name != "." && name != ".." &&
                     name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
  if (!plain) return {};
  return folder + "/" + name;
}

}  // namespace orvane
