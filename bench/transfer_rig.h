#pragma once
// The program's side of a transfer benchmark: one ReaderChannel on real
// transports, connected to the simulated reader the way the program finds
// it. The reader runs as a separate process (orvane-reader-sim) on TCP, TLS
// and the pseudo-terminal, so that this process holds only the program; the
// HID reader lives in this process on the in-memory HID backend, as there is
// no other way to reach it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "bootload/transport_bundle.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"

namespace orvane::sim {
class SimulatedReader;
class SimHidDevice;
}  // namespace orvane::sim

namespace orvane::bench {

enum class Transport { Tcp, Tls, Pty115200, Pty921600, Hid };

struct TransportSpec {
  Transport transport;
  const char* name;   // on the command line: "tcp", "pty115200", ...
  const char* label;  // in the tables
  uint32_t baud;      // serial lines only
};

const std::vector<TransportSpec>& AllTransports();
const TransportSpec* FindTransport(const std::string& name);
const TransportSpec& SpecOf(Transport transport);

// Program time of one report on the simulated USB interrupt endpoints.
inline constexpr uint32_t kHidReportIntervalMs = 1;

class TransferRig {
 public:
  // silentFirstBlock: the reader never answers the first block command.
  TransferRig(Transport transport, bool silentFirstBlock);
  ~TransferRig();
  TransferRig(const TransferRig&) = delete;
  TransferRig& operator=(const TransferRig&) = delete;

  // Starts the reader (in its bootloader) and connects the channel to it.
  bool Connect(std::string& error);
  ReaderChannel& channel() { return transports_.channel(); }
  Transport transport() const { return transport_; }
  // True when the reader runs in this process (its threads' CPU time is then
  // not the program's).
  bool ReaderInProcess() const { return transport_ == Transport::Hid; }

 private:
  bool StartReaderProcess(std::vector<std::string> args, const std::string& expect, std::string& ready,
                          std::string& error);

  Transport transport_;
  bool silent_;
  test::TempDir certFolder_;
  BootloadSettings settings_;
  FakeHidBackend hidBackend_;
  TransportBundle transports_{settings_, hidBackend_};
  std::optional<test::BackgroundProcess> readerProcess_;
  std::unique_ptr<sim::SimulatedReader> reader_;
  std::shared_ptr<FakeHidDevice> device_;
  std::unique_ptr<sim::SimHidDevice> hidReader_;
};

}  // namespace orvane::bench
