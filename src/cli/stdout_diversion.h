#pragma once
// Sends what the core prints on standard output (the folder searches' "search
// file failed!" lines) to standard error for a while, so that the command
// line's standard output carries only its own results: tables, JSON and the
// final status line.

namespace orvane::cli {

class StdoutDiversion {
 public:
  StdoutDiversion();
  ~StdoutDiversion();
  StdoutDiversion(const StdoutDiversion&) = delete;
  StdoutDiversion& operator=(const StdoutDiversion&) = delete;

 private:
  int savedFd_ = -1;
};

}  // namespace orvane::cli
