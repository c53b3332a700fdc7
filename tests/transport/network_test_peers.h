#pragma once
// Header frames as the reader sends them, and a loopback TCP server playing
// the reader's side of the client link.

#include <cstdint>
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

}  // namespace orvane::test
