#include "reader-sim/link_pause.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>

#include "app/clock.h"

namespace orvane::sim {
namespace {

// Longest single OS wait, so that program time is re-read now and then.
constexpr uint32_t kSliceMs = 200;

}  // namespace

LinkPause::LinkPause() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void LinkPause::RequestStop() {
  stopping_.store(true);
  uint64_t one = 1;
  if (event_) {
    ssize_t n = ::write(event_.get(), &one, sizeof one);
    (void)n;
  }
}

void LinkPause::Reset() {
  stopping_.store(false);
  uint64_t value = 0;
  if (event_) {
    ssize_t n = ::read(event_.get(), &value, sizeof value);
    (void)n;
  }
}

bool LinkPause::Pause(uint32_t ms) {
  uint64_t start = TickMs();
  while (!Stopping()) {
    uint64_t elapsed = TickMs() - start;
    if (elapsed >= ms) return true;
    if (Poll({}, static_cast<uint32_t>(std::min<uint64_t>(ms - elapsed, kSliceMs))) < 0) return false;
  }
  return false;
}

int LinkPause::WaitFd(int fd, short events, uint32_t ms) {
  pollfd one{fd, events, 0};
  int n = Poll({&one, 1}, ms);
  if (n < 0) return -1;
  return n > 0 ? one.revents : 0;
}

int LinkPause::Poll(std::span<pollfd> fds, uint32_t ms) {
  if (Stopping()) return -1;
  constexpr size_t kMaxFds = 4;
  if (fds.size() > kMaxFds - 1) return -1;
  pollfd all[kMaxFds];
  all[0] = {event_.get(), POLLIN, 0};
  for (size_t i = 0; i < fds.size(); ++i) {
    fds[i].revents = 0;
    all[i + 1] = fds[i];
  }
  // A manual clock answers 0 real milliseconds; wait at least 1 so a runner
  // under it does not spin.
  int realMs = std::max(OsWaitMs(ms), 1);
  int n = ::poll(all, static_cast<nfds_t>(fds.size() + 1), realMs);
  if (n < 0) return errno == EINTR ? 0 : -1;
  if (Stopping() || (all[0].revents & POLLIN)) return -1;
  int ready = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    fds[i].revents = all[i + 1].revents;
    if (fds[i].revents) ++ready;
  }
  return ready;
}

}  // namespace orvane::sim
