#include "bootload/reader_bench.h"

#include <gtest/gtest.h>

#include "support/test_certificate.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/sim_tcp_server.h"
#include "reader-sim/sim_tls_client.h"

namespace orvane::test {

ReaderBench::ReaderBench(sim::ReaderOptions options, uint32_t clockScale) : reader_(std::move(options)) {
  SpeedUp(clockScale);
  settings_.baudRateList = {115200};
  settings_.parity = "N";
  settings_.stopBits = "1";
  settings_.dataBits = "8";
}

ReaderBench::~ReaderBench() {
  if (tcp_) tcp_->Stop();
  if (tls_) tls_->Stop();
  if (pty_) pty_->Stop();
  if (hidSim_) hidSim_->Stop();
  transports_.network().Close();
  transports_.serial().ClosePort();
  SetClock(nullptr);
}

void ReaderBench::SpeedUp(uint32_t clockScale) {
  clocks_.push_back(std::make_unique<ScaledClock>(clockScale));
  SetClock(clocks_.back().get());
}

void ReaderBench::StartLink(Link link) {
  switch (link) {
    case Link::Tcp:
      tcp_ = std::make_unique<sim::SimTcpServer>(reader_);
      ASSERT_TRUE(tcp_->Start());
      break;
    case Link::Tls:
      ASSERT_TRUE(WriteTestCertificate(certFolder_.path()));
      transports_.network().SetCertificateFolder(certFolder_.path());
      tlsPort_ = FreeLoopbackPort();
      ASSERT_NE(tlsPort_, 0) << "no free port";
      tls_ = std::make_unique<sim::SimTlsClient>(reader_, "127.0.0.1", tlsPort_);
      ASSERT_TRUE(tls_->Start());
      break;
    case Link::Serial: {
      pty_ = std::make_unique<sim::SimPty>(reader_);
      ASSERT_TRUE(pty_->Start());
      const std::string path = pty_->Path();
      transports_.channel().SetPortLister([path](std::vector<PortInfo>& ports) {
        PortInfo port;
        port.devicePath = path;
        port.friendlyName = "Simulated reader (" + path + ")";
        ports.push_back(port);
      });
      break;
    }
    case Link::Hid:
      device_ = std::make_shared<FakeHidDevice>(kBenchVendorId, kBenchProductId);
      hidBackend_.AddDevice(device_);
      hidSim_ = std::make_unique<sim::SimHidDevice>(reader_, device_);
      ASSERT_TRUE(hidSim_->Start());
      if (settings_.vidPidList.empty()) {
        const int isOvg = reader_.Framing() == FrameProtocol::Header ? 1 : 0;
        settings_.vidPidList.push_back({kBenchVendorId, kBenchProductId, isOvg});
      }
      break;
  }
}

bool ReaderBench::Connect(Link link) {
  StartLink(link);
  switch (link) {
    case Link::Tcp:
      return transports_.channel().ConnectTcpClient(text_, "127.0.0.1", tcp_->Port(), false);
    case Link::Tls:
      return transports_.channel().ConnectTlsServer(text_, tlsPort_, false);
    case Link::Serial:
    case Link::Hid:
      return transports_.channel().ConnectUsbOrSerial(text_);
  }
  return false;
}

std::vector<std::vector<uint8_t>> ReaderBench::TakeReceived() {
  std::vector<std::vector<uint8_t>> all = reader_.ReceivedFrames();
  std::vector<std::vector<uint8_t>> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(taken_, all.size())),
                                          all.end());
  taken_ = all.size();
  return fresh;
}

}  // namespace orvane::test
