#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "app/clock.h"
#include "app/program_folder.h"
#include "transport/message_hook.h"
#include "transport/network_link.h"
#include "transport/openssl_handles.h"
#include "transport/socket_wait.h"

namespace orvane {

namespace {

// A TLS write to a peer that has gone raises SIGPIPE, which would end the
// program; the failed write is reported by its result instead. Only a default
// disposition is changed, never a handler someone installed.
void IgnoreBrokenPipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current{};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      signal(SIGPIPE, SIG_IGN);
    }
  });
}

// A private key that other users can read is no secret; said once per process.
void WarnIfKeyReadableByOthers(const std::string& keyPath) {
  static std::atomic<bool> warned{false};
  struct stat info {};
  if (::stat(keyPath.c_str(), &info) != 0 || (info.st_mode & (S_IRGRP | S_IROTH)) == 0) return;
  if (warned.exchange(true)) return;
  ReportLinkProblem({"Warning: " + keyPath + " can be read by other users; restrict it with chmod 600", "", false});
}

// The TLS library's error queue, emptied into one line.
std::string TlsErrors() {
  std::string errors;
  ERR_print_errors_cb(
      [](const char* text, size_t length, void* into) {
        std::string& all = *static_cast<std::string*>(into);
        std::string_view line(text, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        if (!all.empty()) all += "; ";
        all += line;
        return 1;
      },
      &errors);
  return errors;
}

std::string SystemError(int error) { return std::generic_category().message(error); }

}  // namespace

struct TlsServerLink::Tls {
  UniqueFd wake = MakeWakeFd();
  SslContextPtr context;
  SslPtr connection;
  UniqueFd client;
  UniqueFd listener;

  ~Tls() {
    if (connection) SSL_shutdown(connection.get());  // a close notify, no wait for the answer
  }

  // Waits for what the last TLS call asked for; false on time-out, wake or error.
  bool WaitFor(int sslError, uint64_t start, uint32_t totalMs) {
    const short events = sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
    const uint32_t left = RemainingMs(start, totalMs);
    if (left == 0) return false;
    return WaitForSocket(client.get(), events, wake.get(), OsWaitMs(left)) == SocketWait::Ready;
  }

  void DropClient() {
    connection.reset();
    client.reset();
    ERR_clear_error();
  }

  // Server side of the handshake on the accepted socket, bounded by the socket time-out.
  bool Handshake() {
    connection.reset(SSL_new(context.get()));
    if (!connection || SSL_set_fd(connection.get(), client.get()) != 1) return false;
    const uint64_t start = TickMs();
    for (;;) {
      const int result = SSL_accept(connection.get());
      if (result == 1) return true;
      const int error = SSL_get_error(connection.get(), result);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
      if (!WaitFor(error, start, kTlsSocketTimeoutMs)) return false;
    }
  }
};

TlsServerLink::TlsServerLink(std::string certificateFolder)
    : folder_(std::move(certificateFolder)), tls_(std::make_unique<Tls>()) {
  IgnoreBrokenPipe();
}

TlsServerLink::~TlsServerLink() = default;

void TlsServerLink::Cancel() {
  MarkCancelled();
  Wake(tls_->wake.get());
}

bool TlsServerLink::Start(int port) {
  Tls& t = *tls_;
  OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
  if (!PauseUnlessWoken(t.wake.get(), kTlsStartPauseMs)) return false;

  t.context.reset(SSL_CTX_new(TLS_server_method()));
  if (!t.context) {
    ReportLinkProblem({"Unable to create SSL context", TlsErrors()});
    return false;
  }
  if (!PauseUnlessWoken(t.wake.get(), kTlsStartPauseMs)) return false;

  // Nothing older than TLS 1.2, whatever the system configuration allows;
  // the library's default cipher list stays.
  (void)SSL_CTX_set_min_proto_version(t.context.get(), TLS1_2_VERSION);
  (void)SSL_CTX_set_ecdh_auto(t.context.get(), 1);
  const std::string folder = folder_.empty() ? ProgramFolder() : folder_;
  WarnIfKeyReadableByOthers(PathInFolder(folder, kServerKeyFile));
  if (SSL_CTX_use_certificate_file(t.context.get(), PathInFolder(folder, kServerCertFile).c_str(),
                                   SSL_FILETYPE_PEM) <= 0 ||
      SSL_CTX_use_PrivateKey_file(t.context.get(), PathInFolder(folder, kServerKeyFile).c_str(),
                                  SSL_FILETYPE_PEM) <= 0) {
    // The same words for the key: they are the ones operators know.
    ReportLinkProblem({"load server_cert.pem failed", TlsErrors()});
    return false;
  }

  t.listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!t.listener) {
    ReportLinkProblem({"Unable to create socket", SystemError(errno), false});
    return false;
  }
  // A restart right after a dropped reader must be able to bind again at once.
  const int yes = 1;
  (void)::setsockopt(t.listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (port < 0 || port > 65535) {
    ReportLinkProblem({"Unable to listen on TLS port " + std::to_string(port), "no such port"});
    return false;
  }
  if (::bind(t.listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(t.listener.get(), 1) != 0) {
    // Most often another program holds the port.
    ReportLinkProblem({"Unable to listen on TLS port " + std::to_string(port), SystemError(errno)});
    return false;
  }
  if (!PauseUnlessWoken(t.wake.get(), kTlsStartPauseMs) || !PauseUnlessWoken(t.wake.get(), kTlsStartPauseMs)) {
    return false;
  }

  for (;;) {
    const SocketWait waited = WaitForSocket(t.listener.get(), POLLIN, t.wake.get(), -1);
    if (waited == SocketWait::Woken) return false;
    UniqueFd client(waited == SocketWait::Ready
                        ? ::accept4(t.listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)
                        : -1);
    if (!client) {
      // A client that gave up between the wake-up and the accept is no failure.
      if (waited == SocketWait::Ready && (errno == ECONNABORTED || errno == EAGAIN || errno == EINTR)) continue;
      ReportLinkProblem({"Unable to accept", SystemError(errno), false});
      return false;
    }
    t.client = std::move(client);
    if (t.Handshake()) break;
    // Freed completely before the next client is taken.
    t.DropClient();
  }
  connected_.store(true);
  return true;
}

int TlsServerLink::Send(const uint8_t* bytes, size_t count) {
  Tls& t = *tls_;
  if (!t.connection || Lost()) {
    connected_.store(false);
    return -1;
  }
  if (count == 0) return 0;
  const uint64_t start = TickMs();
  for (;;) {
    const int result = SSL_write(t.connection.get(), bytes, static_cast<int>(count));
    if (result > 0) return result;
    const int error = SSL_get_error(t.connection.get(), result);
    if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) && t.WaitFor(error, start, kTlsSocketTimeoutMs)) {
      continue;
    }
    ERR_clear_error();
    // A write that could not finish in time leaves the connection as it is; any other failure ends it.
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) MarkLost();
    connected_.store(false);
    return -1;
  }
}

size_t TlsServerLink::Read(std::span<uint8_t> buffer, uint32_t waitMs) {
  Tls& t = *tls_;
  if (!t.connection || buffer.empty() || Lost()) return 0;
  const uint64_t start = TickMs();
  const uint32_t limit = std::min(waitMs, kTlsSocketTimeoutMs);
  for (;;) {
    const int result = SSL_read(t.connection.get(), buffer.data(), static_cast<int>(buffer.size()));
    if (result > 0) return static_cast<size_t>(result);
    const int error = SSL_get_error(t.connection.get(), result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (t.WaitFor(error, start, limit)) continue;
      return 0;
    }
    // Closed by the reader (close notify or end of stream) or broken: nothing more can come.
    PeerGone();
    return 0;
  }
}

void TlsServerLink::DiscardInput() {
  Tls& t = *tls_;
  if (!t.connection || Lost()) return;
  uint8_t scrap[kNetworkFrameCapacity];
  // Bounded: a peer that never stops sending must not hold the request back.
  for (size_t reads = 0; reads < kMaxDiscardReads; ++reads) {
    // The socket does not block: the read ends as soon as nothing is left.
    const int result = SSL_read(t.connection.get(), scrap, static_cast<int>(sizeof scrap));
    if (result > 0) continue;
    const int error = SSL_get_error(t.connection.get(), result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      ERR_clear_error();
    } else {
      PeerGone();
    }
    return;
  }
}

void TlsServerLink::PeerGone() {
  ERR_clear_error();
  MarkLost();
  connected_.store(false);
}

}  // namespace orvane
