#pragma once
// Runs a program as a child process with its standard streams on pipes (or
// its standard output on a pseudo-terminal), for tests and benchmarks that
// use the command line and the simulated reader as real processes.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/unique_fd.h"

namespace orvane::test {

struct ProcessSpec {
  std::vector<std::string> args;           // args[0] is the program path
  std::map<std::string, std::string> env;  // added to (or replacing in) the test's environment
  std::vector<std::string> unsetEnv;       // removed from it
  std::string input;                       // written to standard input, which is then closed
  bool keepInput = false;                  // ... or kept open for Write()
  bool stdoutIsTerminal = false;           // standard output (and error) on a pseudo-terminal
  bool stderrToParent = false;             // standard error goes to this process's own
  std::chrono::milliseconds limit{20000};  // killed after this long (a hang fails the test, never the suite)

  // `args` with the rest as above, but for where standard error goes.
  static ProcessSpec Of(std::vector<std::string> args, bool stderrToParent = false);
};

struct ProcessResult {
  int exitCode = -1;  // -1 when it ended by a signal
  int signal = 0;
  bool killedAtLimit = false;
  std::string out;
  std::string err;  // empty with stdoutIsTerminal or stderrToParent
  rusage usage{};   // what the process used, peak memory included

  // The last non-empty line of standard output, without its line break.
  std::string LastLine() const;
  std::vector<std::string> Lines() const;
};

ProcessResult RunProcess(const ProcessSpec& spec);

// A process that runs alongside the test, e.g. the simulated reader.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(const ProcessSpec& spec);
  ~BackgroundProcess();  // SIGTERM, then SIGKILL if it does not end
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The next line of standard output without its line end (the unended rest
  // once the output has ended); nothing when none came within `limit`.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit);
  // The next `count` bytes of standard output, fewer when they did not come within `limit`.
  std::string Read(size_t count, std::chrono::milliseconds limit);
  // Writes to standard input (kept open by keepInput); false when not all was taken.
  bool Write(const std::string& bytes);
  // Reads lines until one containing `text` arrives; that line, or nothing
  // when the process ended or the wait ran out.
  std::optional<std::string> WaitForLine(const std::string& text, std::chrono::milliseconds limit);
  // Standard output has ended and every line of it was read.
  bool OutputEnded() const { return !outFd_ && scanned_ >= result_.out.size(); }
  // Everything read from standard output so far.
  const std::string& Output() const { return result_.out; }
  void Signal(int signal);
  // Waits for the end (killing it at `limit`) and collects the rest of its output.
  ProcessResult Wait(std::chrono::milliseconds limit);

 private:
  // Reads what arrives within `limit`; with `untilExit` the wait also ends
  // when the process does.
  void ReadSome(std::chrono::milliseconds limit, bool untilExit = false);

  pid_t pid_ = -1;
  UniqueFd exitFd_;  // readable once the process has ended
  UniqueFd inFd_;
  UniqueFd outFd_;
  UniqueFd errFd_;
  UniqueFd keptSlave_;  // our end of the child's terminal (stdoutIsTerminal)
  size_t scanned_ = 0;  // of result_.out, what ReadLine and Read have taken
  bool finished_ = false;
  ProcessResult result_;  // its output fills as it arrives
};

}  // namespace orvane::test
