#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orvane::fuzz {

namespace {

struct Scratch {
  Scratch() {
    // A file rewritten many thousand times a second belongs in memory: on a
    // disk each truncation can cost milliseconds.
    std::error_code error;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
    std::string pattern = (base / "orvane-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

}  // namespace

const std::string& ScratchFolder() {
  static Scratch scratch;
  return scratch.path;
}

std::string WriteScratchFile(const std::string& name, std::span<const uint8_t> bytes) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
  return path;
}

ManualClock& UseManualClock() {
  static ManualClock clock;
  static const bool installed = [] {
    SetClock(&clock);
    return true;
  }();
  (void)installed;
  clock.ClearRecords();  // the records would grow with every input
  return clock;
}

std::vector<std::span<const uint8_t>> Segments(std::span<const uint8_t> bytes, std::span<const uint8_t> lengths) {
  std::vector<std::span<const uint8_t>> segments;
  size_t at = 0;
  for (uint8_t length : lengths) {
    if (at >= bytes.size()) break;
    const size_t n = std::min<size_t>(length == 0 ? 1 : length, bytes.size() - at);
    segments.push_back(bytes.subspan(at, n));
    at += n;
  }
  if (at < bytes.size()) segments.push_back(bytes.subspan(at));
  return segments;
}

}  // namespace orvane::fuzz
