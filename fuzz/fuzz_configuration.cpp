// The configuration loader, fed whole files.

#include <fcntl.h>
#include <unistd.h>

#include "app/bootload_settings.h"
#include "fuzz_support.h"

namespace {

// The loader names a file it cannot parse on standard error; thousands of
// such lines a second would only slow the run down.
class QuietStderr {
 public:
  QuietStderr() : saved_(::dup(2)) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, 2);
      ::close(null);
    }
  }
  ~QuietStderr() {
    if (saved_ >= 0) {
      ::dup2(saved_, 2);
      ::close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  const std::string path = fuzz::WriteScratchFile(kConfigurationFileName, {data, size});
  BootloadSettings settings;
  bool loaded;
  {
    QuietStderr quiet;
    loaded = LoadBootloadSettingsFromPath(settings, path);
  }
  if (loaded) ORVANE_FUZZ_CHECK(!settings.vidPidList.empty() || !settings.baudRateList.empty());
  for (const VidPidEntry& entry : settings.vidPidList) {
    ORVANE_FUZZ_CHECK(entry.vid <= 0xFFFF && entry.pid <= 0xFFFF);
  }
  ORVANE_FUZZ_CHECK(settings.parity.size() <= 1 && settings.dataBits.size() <= 1 && settings.stopBits.size() <= 1);
  ORVANE_FUZZ_CHECK(settings.enableLog == 0 || settings.enableLog == 1);
  ORVANE_FUZZ_CHECK(settings.enableInterruptPointReserve == 0 || settings.enableInterruptPointReserve == 1);
  return 0;
}
