#pragma once
// Standard output of a reader command, shared by the presenter's thread and
// the engine's workers: whole lines, JSON objects, and on a terminal one
// progress bar that is redrawn in place and kept below the lines.

#include <cstdio>
#include <mutex>
#include <string>

namespace orvane::cli {

class ConsoleOutput {
 public:
  ConsoleOutput(std::FILE* out, bool terminal);

  bool terminal() const { return terminal_; }
  // Characters per line of the terminal (80 when unknown).
  int width() const;

  // One line; a line break is added.
  void Line(const std::string& text);
  // Draws or redraws the progress bar (terminal only).
  void Bar(const std::string& text);
  // Leaves the bar as it stands as an ordinary line.
  void EndBar();

 private:
  void ClearBarLocked();

  std::mutex mutex_;
  std::FILE* out_;
  bool terminal_;
  bool barShown_ = false;
  std::string bar_;
};

// The program's texts use "\r\n"; a terminal line wants "\n".
std::string WithNewlines(const std::string& text);

}  // namespace orvane::cli
