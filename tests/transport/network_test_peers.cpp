#include "network_test_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>


#include "protocol/frames.h"
#include "transport/openssl_handles.h"

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

struct TlsTestClient::State {
  SslContextPtr context{SSL_CTX_new(TLS_client_method())};
  SslPtr ssl;
  UniqueFd socket;
};

TlsTestClient::TlsTestClient() : state_(std::make_unique<State>()) {}

TlsTestClient::~TlsTestClient() { Close(); }

bool TlsTestClient::Connect(int port) {
  state_->socket = ConnectPlain(port);
  if (!state_->socket || !state_->context) return false;
  timeval limit{5, 0};
  ::setsockopt(state_->socket.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(state_->socket.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  state_->ssl.reset(SSL_new(state_->context.get()));
  SSL_set_fd(state_->ssl.get(), state_->socket.get());
  const bool ok = SSL_connect(state_->ssl.get()) == 1;
  ERR_clear_error();
  return ok;
}

bool TlsTestClient::Send(const Bytes& bytes) {
  return state_->ssl && SSL_write(state_->ssl.get(), bytes.data(), static_cast<int>(bytes.size())) ==
                            static_cast<int>(bytes.size());
}

Bytes TlsTestClient::Receive(size_t count, int realMs) {
  Bytes got;
  uint8_t chunk[4096];
  while (state_->ssl && got.size() < count) {
    if (SSL_pending(state_->ssl.get()) == 0 && !WaitReadable(state_->socket.get(), realMs)) break;
    const int n = SSL_read(state_->ssl.get(), chunk, static_cast<int>(std::min(sizeof chunk, count - got.size())));
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  ERR_clear_error();
  return got;
}

void TlsTestClient::Close() {
  if (state_->ssl) SSL_shutdown(state_->ssl.get());
  state_->ssl.reset();
  state_->socket.reset();
}

UniqueFd ConnectPlain(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = Loopback(port);
  if (!fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return UniqueFd();
  return fd;
}

bool PeerClosed(int fd, int realMs) {
  uint8_t byte;
  while (WaitReadable(fd, realMs)) {
    const ssize_t n = ::recv(fd, &byte, 1, 0);
    if (n <= 0) return true;
  }
  return false;
}

}  // namespace orvane::test
