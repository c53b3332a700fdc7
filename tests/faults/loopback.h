#pragma once
// Plain sockets on 127.0.0.1 for peers that are not the reader.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "app/unique_fd.h"

namespace orvane::test {

inline sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// Connects to 127.0.0.1:port, retrying for up to `realMs` (the server may not listen yet).
inline UniqueFd ConnectLoopback(uint16_t port, int realMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(port);
    if (fd && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (std::chrono::steady_clock::now() > deadline) return {};
    ::poll(nullptr, 0, 5);
  }
}

// True when the other side closed the connection within `realMs`; what it sends is read and dropped.
inline bool ClosedByPeer(int fd, int realMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
  }
  return false;
}

}  // namespace orvane::test
