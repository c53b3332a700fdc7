#pragma once
// Runs a program as a child process with its standard streams on pipes (or
// its standard output on a pseudo-terminal), for tests that use the command
// line and the simulated reader as real processes.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvane::test {

struct ProcessSpec {
  std::vector<std::string> args;             // args[0] is the program path
  std::map<std::string, std::string> env;    // added to (or replacing in) the test's environment
  std::vector<std::string> unsetEnv;         // removed from it
  std::string input;                         // written to standard input, which is then closed
  bool stdoutIsTerminal = false;             // standard output (and error) on a pseudo-terminal
  std::chrono::milliseconds limit{20000};    // killed after this long (a hang fails the test, never the suite)
};

struct ProcessResult {
  int exitCode = -1;  // -1 when it ended by a signal
  int signal = 0;
  bool killedAtLimit = false;
  std::string out;
  std::string err;  // empty with stdoutIsTerminal (both went to the terminal)

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
  // Reads standard output until a line containing `text` arrives; that line,
  // or nothing when the process ended or the wait ran out.
  std::optional<std::string> WaitForLine(const std::string& text, std::chrono::milliseconds limit);
  // Everything read from standard output so far.
  const std::string& Output() const { return out_; }
  void Signal(int signal);
  // Waits for the end (killing it at `limit`) and collects the rest of its output.
  ProcessResult Wait(std::chrono::milliseconds limit);

 private:
  bool ReadSome(std::chrono::milliseconds limit);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  int keptSlave_ = -1;  // our end of the child's terminal (stdoutIsTerminal)
  std::string out_;
  std::string err_;
  size_t scanned_ = 0;
  bool finished_ = false;
  ProcessResult result_;
};

}  // namespace orvane::test
