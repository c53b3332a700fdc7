#include "tls_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>

#include "reader-sim/request_scanner.h"
#include "support/test_certificate.h"

namespace orvane::sim::test {
namespace {

// A self-signed certificate for a fresh P-256 key, installed on `ctx`.
bool InstallCertificate(SSL_CTX* ctx) {
  const orvane::test::TestCertificate made = orvane::test::MakeTestCertificate();
  return made.key && SSL_CTX_use_certificate(ctx, made.cert.get()) == 1 &&
         SSL_CTX_use_PrivateKey(ctx, made.key.get()) == 1;
}

}  // namespace

TlsTestServer::TlsTestServer(uint16_t port) {
  ctx_.reset(SSL_CTX_new(TLS_server_method()));
  if (!ctx_ || !InstallCertificate(ctx_.get())) return;
  listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  int one = 1;
  ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  socklen_t len = sizeof addr;
  if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener_.get(), 1) != 0 ||
      ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  ok_ = true;
}

TlsTestServer::~TlsTestServer() { CloseClient(); }

bool TlsTestServer::Accept(int realMs) {
  CloseClient();
  pollfd p{listener_.get(), POLLIN, 0};
  if (::poll(&p, 1, realMs) != 1) return false;
  client_.reset(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!client_) return false;
  timeval tv{realMs / 1000, (realMs % 1000) * 1000};
  ::setsockopt(client_.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ssl_.reset(SSL_new(ctx_.get()));
  SSL_set_fd(ssl_.get(), client_.get());
  return SSL_accept(ssl_.get()) == 1;
}

bool TlsTestServer::Send(const std::vector<uint8_t>& bytes) {
  return ssl_ && SSL_write(ssl_.get(), bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
}

std::vector<uint8_t> TlsTestServer::ReadAnswer(int realMs, bool* closed) {
  std::vector<uint8_t> got;
  if (!ssl_) return got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    long length = FrameLengthAt(got);
    if (length > 0 && got.size() >= static_cast<size_t>(length)) return got;
    if (SSL_pending(ssl_.get()) == 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{client_.get(), POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) return {};
    }
    uint8_t buffer[2048];
    int n = SSL_read(ssl_.get(), buffer, sizeof buffer);
    if (n <= 0) {
      if (closed) *closed = true;
      return {};
    }
    got.insert(got.end(), buffer, buffer + n);
  }
}

void TlsTestServer::CloseClient() {
  if (ssl_) {
    SSL_shutdown(ssl_.get());
    ssl_.reset();
  }
  client_.reset();
}

}  // namespace orvane::sim::test
