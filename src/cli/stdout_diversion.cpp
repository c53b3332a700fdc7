#include "cli/stdout_diversion.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace orvane::cli {

StdoutDiversion::StdoutDiversion() {
  std::cout.flush();
  std::fflush(stdout);
  savedFd_ = ::dup(STDOUT_FILENO);
  if (savedFd_ >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    ::close(savedFd_);
    savedFd_ = -1;
  }
}

StdoutDiversion::~StdoutDiversion() {
  std::cout.flush();
  std::fflush(stdout);
  if (savedFd_ < 0) return;
  ::dup2(savedFd_, STDOUT_FILENO);
  ::close(savedFd_);
}

}  // namespace orvane::cli
