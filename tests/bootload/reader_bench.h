#pragma once
// A ReaderChannel on real transports, connected to the simulated reader over
// one of its links, under a clock that runs program time fast.

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
class SimPty;
class SimHidDevice;
}  // namespace orvane::sim

namespace orvane::test {

inline constexpr uint16_t kBenchVendorId = 0x1D5F;
inline constexpr uint16_t kBenchProductId = 0x0110;
// Program time runs this many times faster than real time.
inline constexpr uint32_t kBenchClockScale = 20;

class ReaderBench {
 public:
  explicit ReaderBench(sim::ReaderOptions options = {}, uint32_t clockScale = kBenchClockScale);
  ~ReaderBench();
  ReaderBench(const ReaderBench&) = delete;
  ReaderBench& operator=(const ReaderBench&) = delete;

  // Starts the reader's side of `link` and connects the channel to it the way
  // the program does. HID: the identity list holds the simulated device (with
  // isOVG from the reader's framing) unless the test filled it.
  bool Connect(Link link);
  // Starts the reader's side only (the test connects itself).
  void StartLink(Link link);

  // Runs program time faster from now on (for long waits that nothing ends).
  void SpeedUp(uint32_t clockScale);

  const std::string& text() const { return text_; }
  ReaderChannel& channel() { return transports_.channel(); }
  sim::SimulatedReader& reader() { return reader_; }
  BootloadSettings& settings() { return settings_; }
  FakeHidBackend& hidBackend() { return hidBackend_; }
  std::shared_ptr<FakeHidDevice> hidDevice() { return device_; }
  uint16_t tlsPort() const { return tlsPort_; }
  // Frames the reader received since the previous call.
  std::vector<std::vector<uint8_t>> TakeReceived();

 private:
  // Every clock installed stays alive: threads may still be inside one.
  std::vector<std::unique_ptr<ScaledClock>> clocks_;
  TempDir certFolder_;
  BootloadSettings settings_;
  FakeHidBackend hidBackend_;
  TransportBundle transports_{settings_, hidBackend_};
  sim::SimulatedReader reader_;
  std::shared_ptr<FakeHidDevice> device_;
  std::unique_ptr<sim::SimTcpServer> tcp_;
  std::unique_ptr<sim::SimTlsClient> tls_;
  std::unique_ptr<sim::SimPty> pty_;
  std::unique_ptr<sim::SimHidDevice> hidSim_;
  uint16_t tlsPort_ = 0;
  size_t taken_ = 0;
  std::string text_;
};

}  // namespace orvane::test
