#pragma once
// A one-connection-at-a-time TLS server on loopback for the TLS runner's
// tests: it plays the tool's side with OpenSSL and a throw-away self-signed
// certificate.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/unique_fd.h"
#include "transport/openssl_handles.h"

namespace orvane::sim::test {

class TlsTestServer {
 public:
  explicit TlsTestServer(uint16_t port = 0);
  ~TlsTestServer();
  bool ok() const { return ok_; }
  uint16_t port() const { return port_; }

  // Waits (real time) for a client and its handshake.
  bool Accept(int realMs = 5000);
  bool Send(const std::vector<uint8_t>& bytes);
  // One whole answer frame, or empty (`closed` tells whether the client went away).
  std::vector<uint8_t> ReadAnswer(int realMs = 3000, bool* closed = nullptr);
  void CloseClient();

 private:
  bool ok_ = false;
  uint16_t port_ = 0;
  SslContextPtr ctx_;
  SslPtr ssl_;
  UniqueFd listener_;
  UniqueFd client_;
};

}  // namespace orvane::sim::test
