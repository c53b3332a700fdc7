#include "network_test_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>


#include "protocol/frames.h"

namespace orvane::test {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool WaitReadable(int fd, int realMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, realMs) == 1;
}

}  // namespace

Bytes HeaderFrame(uint8_t command, size_t dataLength, uint8_t fill) {
  Bytes data(dataLength, fill);
  Bytes frame(dataLength + 16 + 16);
  frame.resize(BuildHeaderFrameFor(frame, command, 0x00, data));
  return frame;
}

Bytes ShortFormFrame(uint8_t command, size_t dataLength, uint8_t fill) {
  Bytes frame = HeaderFrame(command, dataLength, fill);
  frame.erase(frame.begin());
  return frame;
}

Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TcpTestServer::TcpTestServer() {
  listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = Loopback(0);
  if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_.get(), 4) != 0) {
    return;
  }
  socklen_t size = sizeof address;
  ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
}

bool TcpTestServer::Accept() {
  if (!WaitReadable(listener_.get(), 2000)) return false;
  client_.reset(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  return static_cast<bool>(client_);
}

bool TcpTestServer::Send(const Bytes& bytes) {
  return ::send(client_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

Bytes TcpTestServer::Receive(size_t count, int realMs) {
  Bytes got;
  uint8_t chunk[4096];
  while (got.size() < count && WaitReadable(client_.get(), realMs)) {
    const ssize_t n = ::recv(client_.get(), chunk, std::min(sizeof chunk, count - got.size()), 0);
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}

}  // namespace orvane::test
