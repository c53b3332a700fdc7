#include "transport/socket_wait.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>

#include "app/clock.h"

namespace orvane {

SocketWait WaitForSocket(int fd, short events, int wakeFd, int realTimeoutMs) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
  const nfds_t count = wakeFd >= 0 ? 2 : 1;
  for (;;) {
    const int ready = ::poll(fds, count, realTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return SocketWait::Failed;
    if (ready == 0) return SocketWait::TimedOut;
    if (count == 2 && fds[1].revents != 0) return SocketWait::Woken;
    // Errors and hang-ups count as ready: the next call on the socket reports them.
    return SocketWait::Ready;
  }
}

bool PauseUnlessWoken(int wakeFd, uint32_t ms) {
  pollfd p{wakeFd, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&p, 1, OsWaitMs(ms));
    if (ready < 0 && errno == EINTR) continue;
    return ready == 0;
  }
}

UniqueFd MakeWakeFd() { return UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)); }

void Wake(int wakeFd) {
  const uint64_t one = 1;
  // Stays readable once written: every later wait on this link ends at once.
  [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
}

uint32_t RemainingMs(uint64_t startMs, uint32_t totalMs) {
  const uint64_t elapsed = TickMs() - startMs;
  return elapsed >= totalMs ? 0 : static_cast<uint32_t>(totalMs - elapsed);
}

}  // namespace orvane
