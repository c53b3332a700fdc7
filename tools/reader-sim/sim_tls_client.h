#pragma once
// Plays the reader as a TLS client of the tool's TLS server: it connects,
// retrying until it gets in, then serves requests (header framing). A reboot
// or a dropped link disconnects; the reader connects again after the reboot
// delay. When the tool closes the connection the reader connects again.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "reader-sim/link_pause.h"
#include "reader-sim/simulated_reader.h"

namespace orvane::sim {

class SimTlsClient {
 public:
  // caFile empty: the server's certificate is not verified (the tool's is
  // usually self-signed); otherwise it must chain to caFile.
  SimTlsClient(SimulatedReader& reader, std::string host, uint16_t port, std::string caFile = "");
  ~SimTlsClient();
  SimTlsClient(const SimTlsClient&) = delete;
  SimTlsClient& operator=(const SimTlsClient&) = delete;

  // Starts the background thread; false when the TLS context cannot be made.
  bool Start();
  void Stop();
  bool Connected() const { return connected_.load(); }
  uint32_t Handshakes() const { return handshakes_.load(); }

 private:
  void Run();

  SimulatedReader& reader_;
  std::string host_;
  uint16_t port_;
  std::string caFile_;
  std::atomic<bool> connected_{false};
  std::atomic<uint32_t> handshakes_{0};
  LinkPause pause_;
  std::thread thread_;
};

}  // namespace orvane::sim
