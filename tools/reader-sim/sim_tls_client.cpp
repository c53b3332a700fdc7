#include "reader-sim/sim_tls_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>

#include "app/clock.h"
#include "app/unique_fd.h"
#include "reader-sim/reply_delivery.h"
#include "reader-sim/request_scanner.h"
#include "transport/openssl_handles.h"

namespace orvane::sim {
namespace {

constexpr uint32_t kRetryPauseMs = 200;       // between connection attempts
constexpr uint32_t kConnectTimeoutMs = 3000;  // one TCP connect
constexpr uint32_t kHandshakeTimeoutMs = 10000;
constexpr uint32_t kIdleWaitMs = 1000;
constexpr uint32_t kWriteTimeoutMs = 5000;

UniqueFd ConnectTcp(const std::string& host, uint16_t port, LinkPause& pause) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return {};
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
  for (addrinfo* a = found; a; a = a->ai_next) {
    UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (!fd) continue;
    if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) == 0) return fd;
    if (errno != EINPROGRESS) continue;
    int revents = pause.WaitFd(fd.get(), POLLOUT, kConnectTimeoutMs);
    if (revents <= 0) continue;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) return fd;
  }
  return {};
}

// Waits for what an SSL call asked for; false on time-out, stop or error.
bool WaitFor(SSL* ssl, int result, int fd, LinkPause& pause, uint32_t ms) {
  int error = SSL_get_error(ssl, result);
  short events;
  if (error == SSL_ERROR_WANT_READ) {
    events = POLLIN;
  } else if (error == SSL_ERROR_WANT_WRITE) {
    events = POLLOUT;
  } else {
    return false;
  }
  return pause.WaitFd(fd, events, ms) > 0;
}

bool WriteAll(SSL* ssl, int fd, const Bytes& bytes, LinkPause& pause) {
  // One write per answer, so the answer travels in one record.
  for (;;) {
    ERR_clear_error();
    int n = SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()));
    if (n > 0) return static_cast<size_t>(n) == bytes.size();
    if (!WaitFor(ssl, n, fd, pause, kWriteTimeoutMs)) return false;
  }
}

}  // namespace

SimTlsClient::SimTlsClient(SimulatedReader& reader, std::string host, uint16_t port, std::string caFile)
    : reader_(reader), host_(std::move(host)), port_(port), caFile_(std::move(caFile)) {
  reader_.SetFraming(FrameProtocol::Header);  // the network reader always speaks header framing
}

SimTlsClient::~SimTlsClient() { Stop(); }

bool SimTlsClient::Start() {
  if (thread_.joinable()) return true;
  pause_.Reset();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimTlsClient::Stop() {
  pause_.RequestStop();
  if (thread_.joinable()) thread_.join();
  connected_.store(false);
}

void SimTlsClient::Run() {
  // A write to a connection the tool has closed must fail, not end the process.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  SslContextPtr ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) return;
  if (caFile_.empty()) {
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
  } else {
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_load_verify_locations(ctx.get(), caFile_.c_str(), nullptr) != 1) return;
  }

  while (!pause_.Stopping()) {
    UniqueFd fd = ConnectTcp(host_, port_, pause_);
    if (!fd) {
      if (!pause_.Pause(kRetryPauseMs)) return;
      continue;
    }
    SslPtr ssl(SSL_new(ctx.get()));
    if (!ssl || SSL_set_fd(ssl.get(), fd.get()) != 1) return;
    if (!caFile_.empty()) SSL_set1_host(ssl.get(), host_.c_str());
    bool handshaken = false;
    uint64_t start = TickMs();
    while (!pause_.Stopping() && TickMs() - start < kHandshakeTimeoutMs) {
      ERR_clear_error();
      int r = SSL_connect(ssl.get());
      if (r == 1) {
        handshaken = true;
        break;
      }
      if (!WaitFor(ssl.get(), r, fd.get(), pause_, kHandshakeTimeoutMs)) break;
    }
    if (!handshaken) {
      if (!pause_.Pause(kRetryPauseMs)) return;
      continue;
    }
    handshakes_.fetch_add(1);
    connected_.store(true);

    RequestScanner scanner;
    bool linkDown = false;
    while (!pause_.Stopping() && !linkDown) {
      uint8_t buffer[2048];
      ERR_clear_error();
      int n = SSL_read(ssl.get(), buffer, sizeof buffer);
      if (n <= 0) {
        int error = SSL_get_error(ssl.get(), n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
          short events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
          if (pause_.WaitFd(fd.get(), events, kIdleWaitMs) < 0) break;
          continue;
        }
        break;  // the tool closed the connection, or it failed
      }
      scanner.Append({buffer, static_cast<size_t>(n)});
      while (auto frame = scanner.Next()) {
        ReaderReply reply = reader_.HandleRequest(*frame);
        Delivery d = Deliver(reader_, reply, pause_,
                             [&](const Bytes& b) { return WriteAll(ssl.get(), fd.get(), b, pause_); });
        if (d == Delivery::Done) continue;
        linkDown = true;
        if (d == Delivery::LinkDown) {
          SSL_shutdown(ssl.get());
          ssl.reset();
          fd.reset();
          connected_.store(false);
          // Rebooting: the reader connects again once it is back.
          if (!pause_.Pause(reader_.Options().rebootDelayMs)) return;
        }
        break;
      }
    }
    connected_.store(false);
    if (ssl) SSL_shutdown(ssl.get());
    ssl.reset();
    fd.reset();
    if (!linkDown && !pause_.Pause(kRetryPauseMs)) return;
  }
}

}  // namespace orvane::sim
