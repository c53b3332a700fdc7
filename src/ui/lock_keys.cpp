#include "ui/lock_keys.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace orvane {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool LedIsOn(const std::filesystem::path& led) {
  std::ifstream file(led / "brightness");
  int brightness = 0;
  return file >> brightness && brightness > 0;
}

}  // namespace

LockKeys ReadLockKeys() {
  LockKeys keys;
  std::error_code error;
  std::filesystem::directory_iterator led("/sys/class/leds", error);
  for (; !error && led != std::filesystem::directory_iterator(); led.increment(error)) {
    const std::string name = led->path().filename().string();
    if (EndsWith(name, "::capslock")) keys.caps = keys.caps || LedIsOn(led->path());
    if (EndsWith(name, "::numlock")) keys.num = keys.num || LedIsOn(led->path());
    if (EndsWith(name, "::scrolllock")) keys.scroll = keys.scroll || LedIsOn(led->path());
  }
  return keys;
}

}  // namespace orvane
