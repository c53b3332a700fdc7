#include "transfer_rig.h"

#include <sys/stat.h>

#include "reader-sim/sim_hid_device.h"
#include "reader-sim/simulated_reader.h"
#include "support/links.h"
#include "support/test_certificate.h"

namespace orvane::bench {
namespace {

constexpr uint16_t kVendorId = 0x1D5F;
constexpr uint16_t kProductId = 0x0110;
// The reader process says where it can be reached within this time.
constexpr int kReadyWaitMs = 10'000;

// The value of `key=` in a READY line.
std::string Field(const std::string& line, const std::string& key) {
  const size_t at = line.find(key + "=");
  if (at == std::string::npos) return {};
  const size_t begin = at + key.size() + 1;
  return line.substr(begin, line.find(' ', begin) - begin);
}

}  // namespace

const std::vector<TransportSpec>& AllTransports() {
  static const std::vector<TransportSpec> all = {
      {Transport::Tcp, "tcp", "TCP (loopback)", 0},
      {Transport::Tls, "tls", "TLS (loopback)", 0},
      {Transport::Pty115200, "pty115200", "Serial 115200 (pty)", 115200},
      {Transport::Pty921600, "pty921600", "Serial 921600 (pty)", 921600},
      {Transport::Hid, "hid", "USB HID (fake, 1 ms/report)", 0},
  };
  return all;
}

const TransportSpec* FindTransport(const std::string& name) {
  for (const TransportSpec& spec : AllTransports()) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

const TransportSpec& SpecOf(Transport transport) {
  for (const TransportSpec& spec : AllTransports()) {
    if (spec.transport == transport) return spec;
  }
  return AllTransports().front();
}

TransferRig::TransferRig(Transport transport, bool silentFirstBlock) : transport_(transport), silent_(silentFirstBlock) {}

TransferRig::~TransferRig() {
  if (hidReader_) hidReader_->Stop();
  readerProcess_.reset();
  transports_.network().Close();
  transports_.serial().ClosePort();
}

bool TransferRig::StartReaderProcess(std::vector<std::string> args, const std::string& expect, std::string& ready,
                                     std::string& error) {
  args.insert(args.begin(), ORVANE_READER_SIM_EXE);
  args.insert(args.end(), {"--mode", "boot"});
  if (silent_) args.insert(args.end(), {"--silent-block", "1:always"});
  readerProcess_.emplace(test::ProcessSpec::Of(args, true));
  if (!readerProcess_->Started()) {
    error = "cannot start " + args.front();
    return false;
  }
  const auto line = readerProcess_->ReadLine(std::chrono::milliseconds(kReadyWaitMs));
  if (!line || line->rfind("READY " + expect, 0) != 0) {
    error = "the simulated reader did not get ready";
    return false;
  }
  ready = *line;
  return true;
}

bool TransferRig::Connect(std::string& error) {
  std::string ready;
  std::string text;
  bool connected = false;
  switch (transport_) {
    case Transport::Tcp: {
      if (!StartReaderProcess({"--tcp-listen", "0"}, "tcp", ready, error)) return false;
      connected = transports_.channel().ConnectTcpClient(text, "127.0.0.1", std::stoi(Field(ready, "port")), false);
      break;
    }
    case Transport::Tls: {
      if (!test::WriteTestCertificate(certFolder_.path())) {
        error = "cannot write the certificate";
        return false;
      }
      // Only the owner may read a private key; the link says so otherwise.
      ::chmod(certFolder_.File(kServerKeyFile).c_str(), 0600);
      transports_.network().SetCertificateFolder(certFolder_.path());
      const uint16_t port = test::FreeLoopbackPort();
      if (!StartReaderProcess({"--tls-connect", "127.0.0.1:" + std::to_string(port)}, "tls", ready, error)) {
        return false;
      }
      connected = transports_.channel().ConnectTlsServer(text, port, false);
      break;
    }
    case Transport::Pty115200:
    case Transport::Pty921600: {
      const uint32_t baud = SpecOf(transport_).baud;
      if (!StartReaderProcess({"--pty", "--baud", std::to_string(baud)}, "pty", ready, error)) return false;
      const std::string path = Field(ready, "path");
      transports_.channel().SetPortLister([path](std::vector<PortInfo>& ports) {
        PortInfo port;
        port.devicePath = path;
        port.friendlyName = "Simulated reader (" + path + ")";
        ports.push_back(port);
      });
      settings_.baudRateList = {static_cast<int>(baud)};
      settings_.parity = "N";
      settings_.stopBits = "1";
      settings_.dataBits = "8";
      connected = transports_.channel().ConnectUsbOrSerial(text);
      break;
    }
    case Transport::Hid: {
      sim::ReaderOptions options;
      options.mode = sim::ReaderMode::Bootloader;
      options.framing = FrameProtocol::Header;
      options.hidReportIntervalMs = kHidReportIntervalMs;
      if (silent_) options.blockFaults.push_back({1, sim::FaultKind::Silent, 0, true});
      reader_ = std::make_unique<sim::SimulatedReader>(options);
      device_ = std::make_shared<FakeHidDevice>(kVendorId, kProductId);
      hidBackend_.AddDevice(device_);
      hidReader_ = std::make_unique<sim::SimHidDevice>(*reader_, device_);
      if (!hidReader_->Start()) {
        error = "cannot start the HID reader";
        return false;
      }
      settings_.vidPidList.push_back({kVendorId, kProductId, 1});
      connected = transports_.channel().ConnectUsbOrSerial(text);
      break;
    }
  }
  if (!connected) {
    error = "the reader was not found";
    return false;
  }
  return true;
}

}  // namespace orvane::bench
