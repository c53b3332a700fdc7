#pragma once
// Real peers for the network link tests: a loopback TCP server playing the
// reader's side of the client link, a TLS client playing the reader that
// connects to the server link, and a throw-away certificate.

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/unique_fd.h"

namespace orvane::test {

using Bytes = std::vector<uint8_t>;

// A header frame with `dataLength` data bytes (n + 16 bytes).
Bytes HeaderFrame(uint8_t command, size_t dataLength, uint8_t fill = 0x5A);
// The same frame without its first letter (n + 15 bytes).
Bytes ShortFormFrame(uint8_t command, size_t dataLength, uint8_t fill = 0x5A);
Bytes Joined(std::initializer_list<Bytes> parts);

class TcpTestServer {
 public:
  TcpTestServer();  // listening on 127.0.0.1, any free port
  int port() const { return port_; }
  bool Accept();  // takes the connection waiting in the backlog
  bool Send(const Bytes& bytes);
  // Up to `count` bytes, waiting at most realMs for them.
  Bytes Receive(size_t count, int realMs = 2000);
  void CloseClient() { client_.reset(); }

 private:
  UniqueFd listener_;
  UniqueFd client_;
  int port_ = 0;
};

class TlsTestClient {
 public:
  TlsTestClient();
  ~TlsTestClient();
  // Connects and completes the handshake (real time-outs of a few seconds).
  bool Connect(int port);
  bool Send(const Bytes& bytes);
  Bytes Receive(size_t count, int realMs = 2000);
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A plain TCP client, for one that never speaks TLS.
UniqueFd ConnectPlain(int port);
// True when the other side closed the connection within realMs.
bool PeerClosed(int fd, int realMs = 2000);

}  // namespace orvane::test
