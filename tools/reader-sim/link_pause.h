#pragma once
// Pauses of a link runner's thread in program time that Stop() can cut
// short: an eventfd wakes every wait at once.

#include <atomic>
#include <poll.h>

#include <cstdint>
#include <span>

#include "app/unique_fd.h"

namespace orvane::sim {

class LinkPause {
 public:
  LinkPause();
  // Wakes every wait and makes later ones return at once.
  void RequestStop();
  void Reset();
  bool Stopping() const { return stopping_.load(); }
  // Waits `ms` of program time; false when a stop was requested.
  bool Pause(uint32_t ms);
  // poll() on `fd` for `events` and on the stop event for up to `ms` of
  // program time. Returns the revents of `fd` (0 on time-out), -1 on stop or
  // error.
  int WaitFd(int fd, short events, uint32_t ms);
  // poll() on `fds` (entries with fd -1 are ignored) and on the stop event for
  // up to `ms` of program time. Returns the number of ready entries (0 on
  // time-out), -1 on stop or error.
  int Poll(std::span<pollfd> fds, uint32_t ms);

 private:
  UniqueFd event_;
  std::atomic<bool> stopping_{false};
};

}  // namespace orvane::sim
