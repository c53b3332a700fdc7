#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace orvane::bench {

ChildProcess::~ChildProcess() {
  if (Running()) Stop();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  if (Running() || argv.empty()) return false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
  pid_t pid = -1;
  const int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  pid_ = pid;
  out_ = std::move(readEnd);
  pending_.clear();
  return true;
}

std::optional<std::string> ChildProcess::ReadLine(int timeoutMs) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    if (!out_) return std::nullopt;
    // A time-out of 0 still looks once.
    const auto left = std::max<int64_t>(0, duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    pollfd p{out_.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::read(out_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out_.reset();
      if (pending_.empty()) return std::nullopt;
      std::string line = std::move(pending_);
      pending_.clear();
      return line;
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

int ChildProcess::Stop(rusage* usage) {
  if (!Running()) return -1;
  ::kill(pid_, SIGTERM);
  return Wait(usage);
}

int ChildProcess::Wait(rusage* usage) {
  if (!Running()) return -1;
  // Drain the pipe meanwhile, so that a talkative child cannot block on it.
  int status = 0;
  rusage local{};
  for (;;) {
    const pid_t done = ::wait4(pid_, &status, WNOHANG, &local);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) {
      pid_ = -1;
      return -1;
    }
    if (out_) {
      pollfd p{out_.get(), POLLIN, 0};
      if (::poll(&p, 1, 50) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(out_.get(), buffer, sizeof buffer);
        if (n > 0) {
          pending_.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
          out_.reset();
        }
      }
    } else {
      // Nothing left to read: wait for the end itself, so that a short run is
      // timed to its exit rather than to the next look.
      const pid_t ended = ::wait4(pid_, &status, 0, &local);
      if (ended == pid_) break;
      if (ended < 0 && errno != EINTR) {
        pid_ = -1;
        return -1;
      }
    }
  }
  pid_ = -1;
  if (usage) *usage = local;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace orvane::bench
