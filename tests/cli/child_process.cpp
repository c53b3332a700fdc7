#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace orvane::test {
namespace {

using Clock = std::chrono::steady_clock;

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
  int read = -1;
  int write = -1;
  bool Open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
};

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Starts the child; fills the parent's ends of its output streams.
pid_t Spawn(const ProcessSpec& spec, int& outFd, int& errFd, int& keptSlave) {
  std::vector<std::string> args = spec.args;
  std::vector<std::string> env = BuildEnvironment(spec);
  auto argv = Pointers(args);
  auto envp = Pointers(env);

  Pipe in, out, err;
  if (!in.Open()) return -1;
  int master = -1;
  std::string slaveName;
  if (spec.stdoutIsTerminal) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return -1;
    slaveName = ::ptsname(master);
    struct winsize ws {};
    ws.ws_col = 100;
    ws.ws_row = 30;
    // The parent keeps the terminal open until the child has ended: with no
    // slave open the master would report a hang-up before the child opened it.
    keptSlave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keptSlave >= 0) ::ioctl(keptSlave, TIOCSWINSZ, &ws);
  } else if (!out.Open() || !err.Open()) {
    return -1;
  }

  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in.read, STDIN_FILENO);
    if (spec.stdoutIsTerminal) {
      ::setsid();
      int slave = ::open(slaveName.c_str(), O_RDWR);
      if (slave < 0) ::_exit(126);
      ::dup2(slave, STDOUT_FILENO);
      ::dup2(slave, STDERR_FILENO);
    } else {
      ::dup2(out.write, STDOUT_FILENO);
      ::dup2(err.write, STDERR_FILENO);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  CloseFd(in.read);
  CloseFd(out.write);
  CloseFd(err.write);
  if (pid < 0) {
    CloseFd(in.write);
    CloseFd(out.read);
    CloseFd(err.read);
    CloseFd(master);
    return -1;
  }
  // Small inputs only: they fit the pipe.
  if (!spec.input.empty()) {
    ssize_t n = ::write(in.write, spec.input.data(), spec.input.size());
    (void)n;
  }
  CloseFd(in.write);
  outFd = spec.stdoutIsTerminal ? master : out.read;
  errFd = err.read;
  return pid;
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

BackgroundProcess::BackgroundProcess(const ProcessSpec& spec) { pid_ = Spawn(spec, outFd_, errFd_, keptSlave_); }

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0 && !finished_) {
    ::kill(pid_, SIGTERM);
    Wait(std::chrono::milliseconds(5000));
  }
  CloseFd(outFd_);
  CloseFd(errFd_);
  CloseFd(keptSlave_);
}

bool BackgroundProcess::ReadSome(std::chrono::milliseconds limit) {
  pollfd fds[2];
  int n = 0;
  if (outFd_ >= 0) fds[n++] = {outFd_, POLLIN, 0};
  if (errFd_ >= 0) fds[n++] = {errFd_, POLLIN, 0};
  if (n == 0) return false;
  int ready = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(limit.count()));
  if (ready <= 0) return ready == 0 || errno == EINTR;
  for (int i = 0; i < n; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[4096];
    ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
    int& fd = fds[i].fd == outFd_ ? outFd_ : errFd_;
    std::string& sink = fds[i].fd == outFd_ ? out_ : err_;
    if (got > 0) sink.append(buf, static_cast<size_t>(got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN)) CloseFd(fd);  // EIO: the terminal closed
  }
  return true;
}

std::optional<std::string> BackgroundProcess::WaitForLine(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    for (size_t end; (end = out_.find('\n', scanned_)) != std::string::npos;) {
      std::string line = out_.substr(scanned_, end - scanned_);
      scanned_ = end + 1;
      if (line.find(text) != std::string::npos) return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || outFd_ < 0) return std::nullopt;
    ReadSome(std::min(left, std::chrono::milliseconds(100)));
  }
}

void BackgroundProcess::Signal(int signal) {
  if (pid_ > 0 && !finished_) ::kill(pid_, signal);
}

ProcessResult BackgroundProcess::Wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0 || finished_) return result_;
  const auto deadline = Clock::now() + limit;
  int status = 0;
  bool ended = false;
  while (!ended) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      ::kill(pid_, SIGKILL);
      result_.killedAtLimit = true;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    ReadSome(std::min(left, std::chrono::milliseconds(20)));
    ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
  }
  // What the child wrote before it ended.
  for (int i = 0; i < 1000 && (outFd_ >= 0 || errFd_ >= 0); ++i) {
    const size_t before = out_.size() + err_.size();
    ReadSome(std::chrono::milliseconds(10));
    if (out_.size() + err_.size() == before) break;
  }
  CloseFd(keptSlave_);
  finished_ = true;
  if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  result_.out = out_;
  result_.err = err_;
  return result_;
}

}  // namespace orvane::test
