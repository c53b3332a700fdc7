#pragma once
// Plain-socket and file-descriptor helpers for talking to the simulated
// reader the way a tool would, with bounded waits.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/unique_fd.h"
#include "reader-sim/request_scanner.h"

namespace orvane::sim::test {

using Bytes = std::vector<uint8_t>;

inline bool WriteAll(int fd, const Bytes& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads whatever arrives within `realMs`; stops early once `want` bytes are
// in. Empty on silence; `closed` is set when the peer closed.
inline Bytes ReadFor(int fd, int realMs, size_t want = SIZE_MAX, bool* closed = nullptr) {
  Bytes got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (got.size() < want) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    uint8_t buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      if (closed && (n == 0 || errno != EAGAIN)) *closed = true;
      break;
    }
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

// One whole answer frame (header or STX framing), or nothing within `realMs`.
inline Bytes ReadAnswer(int fd, int realMs = 3000, bool* closed = nullptr) {
  Bytes got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    long length = FrameLengthAt(got);
    if (length > 0 && got.size() >= static_cast<size_t>(length)) return got;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    size_t want = length > 0 ? static_cast<size_t>(length) : got.size() + 1;
    Bytes more = ReadFor(fd, static_cast<int>(left.count()), want - got.size(), closed);
    if (more.empty()) return {};
    got.insert(got.end(), more.begin(), more.end());
  }
}

// Waits (bounded, real time) until `condition` holds.
template <typename F>
bool WaitUntil(F condition, int realMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd none{-1, 0, 0};
    ::poll(&none, 0, 2);
  }
  return true;
}

}  // namespace orvane::sim::test
