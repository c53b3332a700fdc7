#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "app/clock.h"
#include "transport/network_link.h"
#include "transport/socket_wait.h"

namespace orvane {

struct TcpClientLink::Sockets {
  UniqueFd socket;
  UniqueFd wake = MakeWakeFd();
};

TcpClientLink::TcpClientLink() : sockets_(std::make_unique<Sockets>()) {}

TcpClientLink::~TcpClientLink() = default;

void TcpClientLink::Cancel() {
  MarkCancelled();
  Wake(sockets_->wake.get());
}

bool TcpClientLink::Connect(const std::string& host, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (port < 0 || port > 65535 || ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;

  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return false;
    if (WaitForSocket(fd.get(), POLLOUT, sockets_->wake.get(), OsWaitMs(kTcpClientTimeoutMs)) != SocketWait::Ready) {
      return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
  }
  sockets_->socket = std::move(fd);
  connected_.store(true);
  return true;
}

int TcpClientLink::Send(const uint8_t* bytes, size_t count) {
  const int fd = sockets_->socket.get();
  if (fd < 0 || Lost()) {
    connected_.store(false);
    return -1;
  }
  const uint64_t start = TickMs();
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::send(fd, bytes + done, count - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    const int error = n < 0 ? errno : 0;
    if (error == EINTR) continue;
    const uint32_t left = RemainingMs(start, kTcpClientTimeoutMs);
    if (error == EAGAIN && left > 0 &&
        WaitForSocket(fd, POLLOUT, sockets_->wake.get(), OsWaitMs(left)) == SocketWait::Ready) {
      continue;
    }
    // A full send buffer only times out; anything else means the connection is gone.
    if (error != EAGAIN) MarkLost();
    connected_.store(false);
    return -1;
  }
  return static_cast<int>(done);
}

size_t TcpClientLink::Read(std::span<uint8_t> buffer, uint32_t waitMs) {
  const int fd = sockets_->socket.get();
  if (fd < 0 || buffer.empty() || Lost()) return 0;
  const uint64_t start = TickMs();
  for (;;) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) {
      // Closed or reset by the reader: nothing more can come.
      PeerGone();
      return 0;
    }
    const uint32_t limit = std::min(waitMs, kTcpClientTimeoutMs);
    const uint32_t left = RemainingMs(start, limit);
    if (left == 0 || WaitForSocket(fd, POLLIN, sockets_->wake.get(), OsWaitMs(left)) != SocketWait::Ready) {
      // A whole receive time-out of silence: the reader may be gone without a
      // word, so the next connect must not take the link as it is. The socket
      // stays open, and an answer that still comes is read.
      if (limit == kTcpClientTimeoutMs && RemainingMs(start, limit) == 0) connected_.store(false);
      return 0;
    }
  }
}

void TcpClientLink::DiscardInput() {
  const int fd = sockets_->socket.get();
  if (fd < 0 || Lost()) return;
  uint8_t scrap[kNetworkFrameCapacity];
  // Bounded: a peer that never stops sending must not hold the request back.
  for (size_t reads = 0; reads < kMaxDiscardReads; ++reads) {
    ssize_t n = 0;
    do {
      n = ::recv(fd, scrap, sizeof scrap, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0) continue;
    if (n == 0 || errno != EAGAIN) PeerGone();
    return;
  }
}

void TcpClientLink::PeerGone() {
  MarkLost();
  connected_.store(false);
}

}  // namespace orvane
