#include "cli/console_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace orvane::cli {

std::string WithNewlines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

ConsoleOutput::ConsoleOutput(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

int ConsoleOutput::width() const {
  struct winsize ws {};
  if (terminal_ && ::ioctl(::fileno(out_), TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
  return 80;
}

void ConsoleOutput::ClearBarLocked() {
  if (barShown_) std::fputs("\r\033[K", out_);
}

void ConsoleOutput::Line(const std::string& text) {
  std::lock_guard lock(mutex_);
  ClearBarLocked();
  std::fputs(text.c_str(), out_);
  std::fputc('\n', out_);
  if (barShown_) std::fputs(bar_.c_str(), out_);
  std::fflush(out_);
}

void ConsoleOutput::Bar(const std::string& text) {
  if (!terminal_) return;
  std::lock_guard lock(mutex_);
  ClearBarLocked();
  bar_ = text;
  barShown_ = true;
  std::fputs(bar_.c_str(), out_);
  std::fflush(out_);
}

void ConsoleOutput::EndBar() {
  std::lock_guard lock(mutex_);
  if (!barShown_) return;
  std::fputc('\n', out_);
  barShown_ = false;
  bar_.clear();
  std::fflush(out_);
}

}  // namespace orvane::cli
