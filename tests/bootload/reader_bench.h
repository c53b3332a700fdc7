#pragma once
// A ReaderChannel on real transports, connected to the simulated reader over
// one of its links, under a clock that runs program time fast. (The whole
// runs drive the serial line.)

#include <memory>
#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "app/clock.h"
#include "bootload/transport_bundle.h"
#include "reader-sim/simulated_reader.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"

namespace orvane::sim {
class SimTcpServer;
class SimTlsClient;
class SimHidDevice;
}  // namespace orvane::sim

namespace orvane::test {

class ReaderBench {
 public:
  explicit ReaderBench(sim::ReaderOptions options = {});
  ~ReaderBench();
  ReaderBench(const ReaderBench&) = delete;
  ReaderBench& operator=(const ReaderBench&) = delete;

  // Starts the reader's side of `link` (TCP, TLS or HID) and connects the
  // channel to it the way the program does. HID: the identity list holds the
  // simulated device, with isOVG from the reader's framing.
  bool Connect(Link link);
  // Starts the reader's side only (the test connects itself).
  void StartLink(Link link);

  const std::string& text() const { return text_; }
  ReaderChannel& channel() { return transports_.channel(); }
  sim::SimulatedReader& reader() { return reader_; }
  BootloadSettings& settings() { return settings_; }
  std::shared_ptr<FakeHidDevice> hidDevice() { return device_; }
  uint16_t tlsPort() const { return tlsPort_; }
  // Frames the reader received since the previous call.
  std::vector<std::vector<uint8_t>> TakeReceived();

 private:
  ScaledClock clock_{20};  // program time runs 20 times faster than real time
  ScopedClock scopedClock_{clock_};
  TempDir certFolder_;
  BootloadSettings settings_;
  FakeHidBackend hidBackend_;
  TransportBundle transports_{settings_, hidBackend_};
  sim::SimulatedReader reader_;
  std::shared_ptr<FakeHidDevice> device_;
  std::unique_ptr<sim::SimTcpServer> tcp_;
  std::unique_ptr<sim::SimTlsClient> tls_;
  std::unique_ptr<sim::SimHidDevice> hidSim_;
  uint16_t tlsPort_ = 0;
  size_t taken_ = 0;
  std::string text_;
};

}  // namespace orvane::test
