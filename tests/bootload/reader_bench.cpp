#include "bootload/reader_bench.h"

#include <gtest/gtest.h>

#include "reader-sim/sim_hid_device.h"
#include "reader-sim/sim_tcp_server.h"
#include "reader-sim/sim_tls_client.h"
#include "support/test_certificate.h"

namespace orvane::test {

ReaderBench::ReaderBench(sim::ReaderOptions options) : reader_(std::move(options)) {}

ReaderBench::~ReaderBench() {
  if (tcp_) tcp_->Stop();
  if (tls_) tls_->Stop();
  if (hidSim_) hidSim_->Stop();
  transports_.network().Close();
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
    default:
      device_ = std::make_shared<FakeHidDevice>(0x1D5F, 0x0110);
      hidBackend_.AddDevice(device_);
      hidSim_ = std::make_unique<sim::SimHidDevice>(reader_, device_);
      ASSERT_TRUE(hidSim_->Start());
      settings_.vidPidList.push_back({0x1D5F, 0x0110, reader_.Framing() == FrameProtocol::Header ? 1 : 0});
  }
}

bool ReaderBench::Connect(Link link) {
  StartLink(link);
  switch (link) {
    case Link::Tcp:
      return transports_.channel().ConnectTcpClient(text_, "127.0.0.1", tcp_->Port(), false);
    case Link::Tls:
      return transports_.channel().ConnectTlsServer(text_, tlsPort_, false);
    default:
      return transports_.channel().ConnectUsbOrSerial(text_);
  }
}

std::vector<std::vector<uint8_t>> ReaderBench::TakeReceived() {
  std::vector<std::vector<uint8_t>> all = reader_.ReceivedFrames();
  std::vector<std::vector<uint8_t>> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(taken_, all.size())),
                                          all.end());
  taken_ = all.size();
  return fresh;
}

}  // namespace orvane::test
