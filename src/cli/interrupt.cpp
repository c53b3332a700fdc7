#include "cli/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace orvane::cli {
namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int signal) {
  if (g_interrupted.exchange(true)) {
    // Asked twice: the operator does not want to wait for the clean stop.
    ::_exit(128 + signal);
  }
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return g_interrupted.load(); }

}  // namespace orvane::cli
