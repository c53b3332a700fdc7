#pragma once
// Plays the reader as a TCP server: the tool connects as a client. One
// request in, one answer out, header framing. A reboot closes the connection
// and the listening socket; the reader listens again on the same port after
// the reboot delay. A new client replaces the current one.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "app/unique_fd.h"
#include "reader-sim/link_pause.h"
#include "reader-sim/simulated_reader.h"

namespace orvane::sim {

class SimTcpServer {
 public:
  // Port 0 picks a free port (see Port() after Start()).
  SimTcpServer(SimulatedReader& reader, uint16_t port = 0, std::string bindAddress = "127.0.0.1");
  ~SimTcpServer();
  SimTcpServer(const SimTcpServer&) = delete;
  SimTcpServer& operator=(const SimTcpServer&) = delete;

  // Binds, listens and starts the background thread; false when the port
  // cannot be bound.
  bool Start();
  void Stop();
  uint16_t Port() const { return port_.load(); }
  bool ClientConnected() const { return clientConnected_.load(); }
  uint32_t ConnectionsAccepted() const { return accepted_.load(); }

 private:
  bool Listen();
  void Run();
  void Serve(UniqueFd& client);

  SimulatedReader& reader_;
  std::string bindAddress_;
  std::atomic<uint16_t> port_;
  std::atomic<bool> clientConnected_{false};
  std::atomic<uint32_t> accepted_{0};
  UniqueFd listener_;
  LinkPause pause_;
  std::thread thread_;
};

}  // namespace orvane::sim
