#pragma once
// Misbehaving network and serial peers for the fault tests: a TCP server
// that accepts and never answers, plain and broken TLS clients, and a serial
// line that delivers nothing but noise.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/unique_fd.h"

namespace orvane::test {

// Accepts every connection on 127.0.0.1 and reads what comes, never answering.
class SilentTcpServer {
 public:
  explicit SilentTcpServer(uint16_t port = 0);
  ~SilentTcpServer();
  SilentTcpServer(const SilentTcpServer&) = delete;
  SilentTcpServer& operator=(const SilentTcpServer&) = delete;

  uint16_t port() const { return port_; }
  bool listening() const { return static_cast<bool>(listener_); }
  int accepted() const { return accepted_.load(); }
  size_t bytesReceived() const { return received_.load(); }
  // Closes the listener and every connection.
  void Stop();

 private:
  void Run();

  UniqueFd listener_;
  UniqueFd wake_;
  uint16_t port_ = 0;
  std::atomic<int> accepted_{0};
  std::atomic<size_t> received_{0};
  std::thread thread_;
};

// Connects to 127.0.0.1:port, retrying for up to `realMs`.
UniqueFd ConnectLoopback(uint16_t port, int realMs = 5000);
// True when the other side closed the connection within `realMs`.
bool ClosedByPeer(int fd, int realMs = 5000);

// A pseudo-terminal whose far end writes noise (with frame starts in it)
// until stopped.
class NoiseLine {
 public:
  NoiseLine();
  ~NoiseLine();
  NoiseLine(const NoiseLine&) = delete;
  NoiseLine& operator=(const NoiseLine&) = delete;

  bool Start();
  const std::string& path() const { return path_; }
  size_t bytesWritten() const { return written_.load(); }

 private:
  void Run();

  UniqueFd master_;
  UniqueFd wake_;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> written_{0};
  std::thread thread_;
};

}  // namespace orvane::test
