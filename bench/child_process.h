#pragma once
// A program that a benchmark starts beside itself (the simulated reader, the
// command line), with its standard output on a pipe that is read line by line.

#include <sys/resource.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "app/unique_fd.h"

namespace orvane::bench {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // argv[0] is the program: a path, or a name looked up in PATH.
  // `environment` entries ("NAME=value") are added to this process's own.
  // False when it cannot be started.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
  // The next line of standard output without its line end; nullopt at its end
  // or when none is complete within `timeoutMs` (real time).
  std::optional<std::string> ReadLine(int timeoutMs);
  // Asks it to end (SIGTERM), waits, and returns its exit status (128 + the
  // signal when a signal ended it).
  int Stop(rusage* usage = nullptr);
  // Waits for it to end by itself.
  int Wait(rusage* usage = nullptr);
  bool Running() const { return pid_ > 0; }
  // Its standard output has ended (and every line was read).
  bool OutputEnded() const { return !out_ && pending_.empty(); }

 private:
  pid_t pid_ = -1;
  UniqueFd out_;
  std::string pending_;
};

}  // namespace orvane::bench
