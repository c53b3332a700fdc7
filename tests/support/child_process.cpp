#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

extern char** environ;

namespace orvane::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The test's own environment with the process's own variables added, replaced or removed.
std::vector<std::string> BuildEnvironment(const ProcessSpec& spec) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e), name = entry.substr(0, entry.find('='));
    if (!spec.env.contains(name) && std::ranges::count(spec.unsetEnv, name) == 0) env.push_back(entry);
  }
  for (const auto& [name, value] : spec.env) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> p;
  for (auto& t : texts) p.push_back(t.data());
  p.push_back(nullptr);
  return p;
}

milliseconds Left(Clock::time_point deadline) {
  return std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
}

}  // namespace

ProcessSpec ProcessSpec::Of(std::vector<std::string> args, bool stderrToParent) {
  ProcessSpec spec;
  spec.args = std::move(args);
  spec.stderrToParent = stderrToParent;
  return spec;
}

std::vector<std::string> ProcessResult::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line); lines.push_back(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

std::string ProcessResult::LastLine() const {
  const auto lines = Lines();
  const auto last = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) { return !l.empty(); });
  return last == lines.rend() ? std::string() : *last;
}

ProcessResult RunProcess(const ProcessSpec& spec) { return BackgroundProcess(spec).Wait(spec.limit); }

BackgroundProcess::BackgroundProcess(const ProcessSpec& spec) {
  std::vector<std::string> args = spec.args;
  std::vector<std::string> env = BuildEnvironment(spec);
  auto argv = Pointers(args);
  auto envp = Pointers(env);

  UniqueFd inRead, outWrite, errWrite;
  if (!MakePipe(inRead, inFd_)) return;
  std::string slaveName;
  if (spec.stdoutIsTerminal) {
    outFd_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!outFd_ || ::grantpt(outFd_.get()) != 0 || ::unlockpt(outFd_.get()) != 0) return;
    slaveName = ::ptsname(outFd_.get());
    const winsize ws{.ws_row = 30, .ws_col = 100, .ws_xpixel = 0, .ws_ypixel = 0};
    // Kept open until the child has ended: with no slave open the master
    // would report a hang-up before the child opened it.
    keptSlave_.reset(::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (keptSlave_) ::ioctl(keptSlave_.get(), TIOCSWINSZ, &ws);
  } else if (!MakePipe(outFd_, outWrite) || (!spec.stderrToParent && !MakePipe(errFd_, errWrite))) {
    return;
  }

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(inRead.get(), STDIN_FILENO);
    if (spec.stdoutIsTerminal) {
      ::setsid();
      const int slave = ::open(slaveName.c_str(), O_RDWR);
      if (slave < 0) ::_exit(126);
      ::dup2(slave, STDOUT_FILENO);
      ::dup2(slave, STDERR_FILENO);
    } else {
      ::dup2(outWrite.get(), STDOUT_FILENO);
      if (errWrite) ::dup2(errWrite.get(), STDERR_FILENO);
    }
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (pid < 0) return;
  pid_ = pid;
  // Small inputs only: they fit the pipe.
  if (!spec.input.empty()) Write(spec.input);
  if (!spec.keepInput) inFd_.reset();
  // Through syscall(): this C library's own pidfd_open is not callable from C++.
  exitFd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
}

BackgroundProcess::~BackgroundProcess() {
  Signal(SIGTERM);
  Wait(milliseconds(5000));
}

void BackgroundProcess::ReadSome(milliseconds limit, bool untilExit) {
  pollfd fds[3];
  int n = 0;
  if (outFd_) fds[n++] = {outFd_.get(), POLLIN, 0};
  if (errFd_) fds[n++] = {errFd_.get(), POLLIN, 0};
  const int streams = n;
  if (untilExit && exitFd_) fds[n++] = {exitFd_.get(), POLLIN, 0};
  if (n == 0 || ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(limit.count())) <= 0) return;
  for (int i = 0; i < streams; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[4096];
    const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
    const bool isOut = fds[i].fd == outFd_.get();
    if (got > 0)
      (isOut ? result_.out : result_.err).append(buf, static_cast<size_t>(got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN))
      (isOut ? outFd_ : errFd_).reset();  // EIO: the terminal closed
  }
}

std::optional<std::string> BackgroundProcess::ReadLine(milliseconds limit) {
  const std::string& out = result_.out;
  const auto deadline = Clock::now() + limit;
  // A limit of 0 still looks once.
  for (bool looked = false;; looked = true) {
    const size_t end = std::min(out.find('\n', scanned_), out.size());
    if (end < out.size() || (!outFd_ && scanned_ < out.size())) {
      std::string line = out.substr(scanned_, end - scanned_);
      scanned_ = std::min(end + 1, out.size());
      return line;
    }
    if (!outFd_ || (looked && Left(deadline).count() == 0)) return std::nullopt;
    ReadSome(std::min(Left(deadline), milliseconds(100)));
  }
}

std::optional<std::string> BackgroundProcess::WaitForLine(const std::string& text, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    std::optional<std::string> line = ReadLine(Left(deadline));
    if (!line || line->find(text) != std::string::npos) return line;
  }
}

std::string BackgroundProcess::Read(size_t count, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (result_.out.size() - scanned_ < count && outFd_ && Left(deadline).count() > 0) {
    ReadSome(std::min(Left(deadline), milliseconds(100)));
  }
  const size_t taken = std::min(count, result_.out.size() - scanned_);
  scanned_ += taken;
  return result_.out.substr(scanned_ - taken, taken);
}

bool BackgroundProcess::Write(const std::string& bytes) {
  return inFd_ && ::write(inFd_.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void BackgroundProcess::Signal(int signal) {
  if (pid_ > 0 && !finished_) ::kill(pid_, signal);
}

ProcessResult BackgroundProcess::Wait(milliseconds limit) {
  if (pid_ <= 0 || finished_) return result_;
  inFd_.reset();
  const auto deadline = Clock::now() + limit;
  int status = 0;
  // Drains the output meanwhile, so that a talkative child cannot block on a
  // full pipe; the end of the process ends each wait at once.
  while (::wait4(pid_, &status, WNOHANG, &result_.usage) != pid_) {
    if (Left(deadline).count() == 0) {
      ::kill(pid_, SIGKILL);
      result_.killedAtLimit = true;
      while (::wait4(pid_, &status, 0, &result_.usage) < 0 && errno == EINTR) {
      }
      break;
    }
    ReadSome(std::min(Left(deadline), milliseconds(20)), true);
  }
  // What the child wrote before it ended.
  for (int i = 0; i < 1000 && (outFd_ || errFd_); ++i) {
    const size_t before = result_.out.size() + result_.err.size();
    ReadSome(milliseconds(10));
    if (result_.out.size() + result_.err.size() == before) break;
  }
  keptSlave_.reset();
  finished_ = true;
  if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  return result_;
}

}  // namespace orvane::test
