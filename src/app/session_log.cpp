#include "app/session_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "app/program_folder.h"
#include "app/unique_fd.h"

namespace orvane {
namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string& LogFileName() {
  static std::string name = kSessionLogFileName;
  return name;
}

}  // namespace

const std::string& SessionLogFileName() { return LogFileName(); }

void SetSessionLogFileName(std::string name) { LogFileName() = std::move(name); }

bool WriteSessionLogInFolder(const std::string& folder, const std::string& text) {
  std::string finalPath = PathInFolder(folder, SessionLogFileName());
  std::string tempPath = finalPath + ".XXXXXX";
  UniqueFd fd(::mkstemp(tempPath.data()));
  if (!fd) return false;
  bool ok = WriteAll(fd.get(), text) && ::fchmod(fd.get(), 0644) == 0 && ::fsync(fd.get()) == 0;
  fd.reset();
  if (ok && ::rename(tempPath.c_str(), finalPath.c_str()) == 0) return true;
  ::unlink(tempPath.c_str());
  return false;
}

std::string FallbackLogFolder() {
  std::filesystem::path base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return (base / "orvane-bootload").string();
}

std::string WriteSessionLog(const std::string& text) {
  std::string folder = ProgramFolder();
  if (!folder.empty() && WriteSessionLogInFolder(folder, text)) return PathInFolder(folder, SessionLogFileName());

  std::string fallback = FallbackLogFolder();
  if (fallback.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(fallback, ec);
  if (!WriteSessionLogInFolder(fallback, text)) return {};
  return PathInFolder(fallback, SessionLogFileName());
}

}  // namespace orvane
