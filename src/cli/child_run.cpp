#include "cli/child_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvane::cli {
ChildRun::ChildRun(const std::string& program, const std::vector<std::string>& args) {
  UniqueFd outWrite, errWrite;
  if (!MakePipe(out_, outWrite) || !MakePipe(err_, errWrite)) {
    error_ = std::string("cannot make a pipe: ") + std::strerror(errno);
    return;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();

  pid_t pid = ::fork();
  if (pid < 0) {
    error_ = std::string("cannot start a process: ") + std::strerror(errno);
    return;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &dflt, nullptr);
    ::sigaction(SIGTERM, &dflt, nullptr);
    ::sigaction(SIGPIPE, &dflt, nullptr);
    if (::dup2(outWrite.get(), STDOUT_FILENO) < 0 || ::dup2(errWrite.get(), STDERR_FILENO) < 0) ::_exit(127);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  pid_ = pid;
  ::setpgid(pid, pid);  // also here: a Ctrl+C right after fork must not reach the child
  for (UniqueFd* fd : {&out_, &err_}) ::fcntl(fd->get(), F_SETFL, ::fcntl(fd->get(), F_GETFL) | O_NONBLOCK);
}

ChildRun::~ChildRun() {
  if (pid_ <= 0 || status_) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

void ChildRun::Signal(int signal) {
  if (pid_ > 0 && !status_) ::kill(pid_, signal);
}

std::optional<int> ChildRun::Ended() {
  if (pid_ <= 0 || status_) return status_;
  int status = 0;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) status_ = status;
  return status_;
}

void LineSplitter::Add(const char* bytes, size_t count, std::vector<std::string>& lines) {
  for (size_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (!cutting_) lines.push_back(std::move(partial_));
      partial_.clear();
      cutting_ = false;
      continue;
    }
    if (cutting_) continue;
    if (partial_.size() >= maxLine_) {
      lines.push_back(std::move(partial_));
      partial_.clear();
      cutting_ = true;
      continue;
    }
    partial_ += c;
  }
}

std::optional<std::string> LineSplitter::Rest() {
  if (partial_.empty()) return std::nullopt;
  std::string rest = std::move(partial_);
  partial_.clear();
  return rest;
}

}  // namespace orvane::cli
