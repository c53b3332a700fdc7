#pragma once
// One child process of this program with its standard output and error read
// through pipes. The child gets a process group of its own, so that a Ctrl+C
// at the terminal reaches only the parent, which passes it on once; it is
// sent SIGTERM if the parent dies first. Destroying a child that still runs
// kills and reaps it.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "app/unique_fd.h"

namespace orvane::cli {

class ChildRun {
 public:
  // Starts `program` with `args` (argv[1..]). On failure running() is false
  // and error() says why.
  ChildRun(const std::string& program, const std::vector<std::string>& args);
  ~ChildRun();
  ChildRun(const ChildRun&) = delete;
  ChildRun& operator=(const ChildRun&) = delete;

  bool started() const { return pid_ > 0; }
  const std::string& error() const { return error_; }
  int outFd() const { return out_.get(); }
  int errFd() const { return err_.get(); }
  void CloseOut() { out_.reset(); }
  void CloseErr() { err_.reset(); }

  void Signal(int signal);
  // The wait status once the child has ended (without blocking); it is
  // reaped then.
  std::optional<int> Ended();

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  UniqueFd out_;
  UniqueFd err_;
  std::string error_;
};

// Splits what a pipe delivers into lines, at most `maxLine` bytes each: a
// longer line is cut there, so that a child cannot make the parent hold
// unbounded text.
class LineSplitter {
 public:
  explicit LineSplitter(size_t maxLine) : maxLine_(maxLine) {}
  // Appends bytes and moves every complete line to `lines`.
  void Add(const char* bytes, size_t count, std::vector<std::string>& lines);
  // The unterminated rest, if any (at the end of the stream).
  std::optional<std::string> Rest();

 private:
  size_t maxLine_;
  std::string partial_;
  bool cutting_ = false;  // the current line was already cut; drop until its end
};

}  // namespace orvane::cli
