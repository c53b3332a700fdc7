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
#include <cstring>

extern char** environ;

namespace orvane::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::vector<std::string> BuildEnvironment(const ProcessSpec& spec) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    auto eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& name : spec.unsetEnv) env.erase(name);
  for (const auto& [k, v] : spec.env) env[k] = v;
  std::vector<std::string> out;
  for (const auto& [k, v] : env) out.push_back(k + "=" + v);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> p;
  for (auto& t : texts) p.push_back(t.data());
  p.push_back(nullptr);
  return p;
}

struct Pipe {
  UniqueFd read;
  UniqueFd write;
  bool Open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read.reset(fds[0]);
    write.reset(fds[1]);
    return true;
  }
};

struct Spawned {
  pid_t pid = -1;
  UniqueFd in;
  UniqueFd out;
  UniqueFd err;
  UniqueFd keptSlave;
};

// Starts the child; the parent's ends of its output streams go with it.
Spawned Spawn(const ProcessSpec& spec) {
  Spawned child;
  if (spec.args.empty()) return child;
  std::vector<std::string> args = spec.args;
  std::vector<std::string> env = BuildEnvironment(spec);
  auto argv = Pointers(args);
  auto envp = Pointers(env);

  Pipe in, out, err;
  if (!in.Open()) return child;
  UniqueFd master;
  std::string slaveName;
  if (spec.stdoutIsTerminal) {
    master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) return child;
    slaveName = ::ptsname(master.get());
    struct winsize ws {};
    ws.ws_col = 100;
    ws.ws_row = 30;
    // The parent keeps the terminal open until the child has ended: with no
    // slave open the master would report a hang-up before the child opened it.
    child.keptSlave.reset(::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (child.keptSlave) ::ioctl(child.keptSlave.get(), TIOCSWINSZ, &ws);
  } else if (!out.Open() || (!spec.stderrToParent && !err.Open())) {
    return child;
  }

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in.read.get(), STDIN_FILENO);
    if (spec.stdoutIsTerminal) {
      ::setsid();
      int slave = ::open(slaveName.c_str(), O_RDWR);
      if (slave < 0) ::_exit(126);
      ::dup2(slave, STDOUT_FILENO);
      ::dup2(slave, STDERR_FILENO);
    } else {
      ::dup2(out.write.get(), STDOUT_FILENO);
      if (err.write) ::dup2(err.write.get(), STDERR_FILENO);
    }
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (pid < 0) return child;
  in.read.reset();
  // Small inputs only: they fit the pipe.
  if (!spec.input.empty()) {
    ssize_t n = ::write(in.write.get(), spec.input.data(), spec.input.size());
    (void)n;
  }
  child.pid = pid;
  if (spec.keepInput) child.in = std::move(in.write);
  child.out = spec.stdoutIsTerminal ? std::move(master) : std::move(out.read);
  child.err = std::move(err.read);
  return child;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

ProcessSpec ProcessSpec::Of(std::vector<std::string> args, bool stderrToParent) {
  ProcessSpec spec;
  spec.args = std::move(args);
  spec.stderrToParent = stderrToParent;
  return spec;
}

std::vector<std::string> ProcessResult::Lines() const { return SplitLines(out); }

std::string ProcessResult::LastLine() const {
  auto lines = Lines();
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (!it->empty()) return *it;
  }
  return {};
}

ProcessResult RunProcess(const ProcessSpec& spec) {
  BackgroundProcess process(spec);
  return process.Wait(spec.limit);
}

BackgroundProcess::BackgroundProcess(const ProcessSpec& spec) {
  Spawned child = Spawn(spec);
  pid_ = child.pid;
  inFd_ = std::move(child.in);
  outFd_ = std::move(child.out);
  errFd_ = std::move(child.err);
  keptSlave_ = std::move(child.keptSlave);
  // Through syscall(): this C library's own pidfd_open is not callable from C++.
  if (pid_ > 0) exitFd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0 && !finished_) {
    ::kill(pid_, SIGTERM);
    Wait(milliseconds(5000));
  }
}

bool BackgroundProcess::ReadSome(milliseconds limit, bool untilExit) {
  pollfd fds[3];
  int n = 0;
  if (outFd_) fds[n++] = {outFd_.get(), POLLIN, 0};
  if (errFd_) fds[n++] = {errFd_.get(), POLLIN, 0};
  const int streams = n;
  if (untilExit && exitFd_) fds[n++] = {exitFd_.get(), POLLIN, 0};
  if (n == 0) return false;
  int ready = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(limit.count()));
  if (ready <= 0) return ready == 0 || errno == EINTR;
  for (int i = 0; i < streams; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[4096];
    ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
    UniqueFd& fd = fds[i].fd == outFd_.get() ? outFd_ : errFd_;
    std::string& sink = fds[i].fd == outFd_.get() ? out_ : err_;
    if (got > 0) sink.append(buf, static_cast<size_t>(got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN)) fd.reset();  // EIO: the terminal closed
  }
  return true;
}

std::optional<std::string> BackgroundProcess::ReadLine(milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const size_t end = out_.find('\n', scanned_);
    if (end != std::string::npos) {
      std::string line = out_.substr(scanned_, end - scanned_);
      scanned_ = end + 1;
      return line;
    }
    if (!outFd_) {
      if (scanned_ >= out_.size()) return std::nullopt;
      std::string rest = out_.substr(scanned_);
      scanned_ = out_.size();
      return rest;
    }
    // A limit of 0 still looks once.
    const auto left = std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
    const size_t before = out_.size();
    ReadSome(std::min(left, milliseconds(100)));
    if (left.count() == 0 && out_.size() == before && outFd_) return std::nullopt;
  }
}

std::optional<std::string> BackgroundProcess::WaitForLine(const std::string& text, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    std::optional<std::string> line = ReadLine(std::max(left, milliseconds(0)));
    if (!line) return std::nullopt;
    if (line->find(text) != std::string::npos) return line;
  }
}

std::string BackgroundProcess::Read(size_t count, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (out_.size() - scanned_ < count && outFd_) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    ReadSome(std::min(left, milliseconds(100)));
  }
  const size_t taken = std::min(count, out_.size() - scanned_);
  std::string bytes = out_.substr(scanned_, taken);
  scanned_ += taken;
  return bytes;
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
  bool ended = false;
  while (!ended) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      ::kill(pid_, SIGKILL);
      result_.killedAtLimit = true;
      while (::wait4(pid_, &status, 0, &result_.usage) < 0 && errno == EINTR) {
      }
      break;
    }
    // Drains the output meanwhile, so that a talkative child cannot block on
    // a full pipe; the end of the process ends the wait at once.
    if (!ReadSome(std::min(left, milliseconds(20)), true)) {
      ::poll(nullptr, 0, static_cast<int>(std::min(left, milliseconds(20)).count()));
    }
    ended = ::wait4(pid_, &status, WNOHANG, &result_.usage) == pid_;
  }
  // What the child wrote before it ended.
  for (int i = 0; i < 1000 && (outFd_ || errFd_); ++i) {
    const size_t before = out_.size() + err_.size();
    ReadSome(milliseconds(10));
    if (out_.size() + err_.size() == before) break;
  }
  keptSlave_.reset();
  exitFd_.reset();
  finished_ = true;
  if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  result_.out = out_;
  result_.err = err_;
  return result_;
}

}  // namespace orvane::test
