#pragma once
// Waiting on a socket that another thread can interrupt through a wake
// descriptor (an eventfd), so that a blocked accept, connect, handshake or
// read ends as soon as the link is closed.

#include <cstdint>

#include "app/unique_fd.h"

namespace orvane {

enum class SocketWait { Ready, TimedOut, Woken, Failed };

// realTimeoutMs < 0 waits without limit.
SocketWait WaitForSocket(int fd, short events, int wakeFd, int realTimeoutMs);
// A pause of program time that a wake ends early; true when it ran its course.
bool PauseUnlessWoken(int wakeFd, uint32_t ms);

UniqueFd MakeWakeFd();
void Wake(int wakeFd);

// Milliseconds of `totalMs` left since `startMs` (program time), 0 when spent.
uint32_t RemainingMs(uint64_t startMs, uint32_t totalMs);

}  // namespace orvane
