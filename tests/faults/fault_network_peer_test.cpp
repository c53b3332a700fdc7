// Network peers that are not the reader, or not the reader yet: a plain TCP
// client on the TLS port, a TLS client that gives up in the handshake, and a
// TCP server that accepts and never answers.

#include <openssl/ssl.h>
#include <sys/socket.h>

#include "faults/fault_run.h"
#include "faults/peers.h"

namespace orvane::test {
namespace {

class TlsPortIntruder : public FaultRun {
 protected:
  // The TLS handshake's 10 s are 100 real ms on the usual clock: too little
  // for a busy machine, and a reader dropped in its handshake comes again.
  TlsPortIntruder() : FaultRun(20) {}

  // The tool listens on the TLS port; the reader is not there yet.
  void ListenWithoutReader() {
    const uint16_t port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    ChooseLink(Link::Tls, port);
    StartDetection();
  }

  // The reader connects now, is found, and is updated.
  void ReaderArrivesAndIsUpdated() {
    reader = std::make_unique<sim::SimulatedReader>(ReaderOptions());
    tls = std::make_unique<sim::SimTlsClient>(*reader, "127.0.0.1", rig.settings.tlsServerPort);
    ASSERT_TRUE(tls->Start());
    ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor)) << "the reader was not let in";
    EXPECT_EQ(tls->Handshakes(), 1u);
    ExpectSecondUpdateSucceeds(path_);
  }

  static sim::ReaderOptions ReaderOptions() {
    sim::ReaderOptions options;
    options.mode = sim::ReaderMode::Bootloader;
    return options;
  }

  std::string path_ = AddApplication(3);
};

TEST_F(TlsPortIntruder, PlainTcpClientIsDroppedAndTheReaderStillGetsIn) {
  ListenWithoutReader();
  UniqueFd plain = ConnectLoopback(static_cast<uint16_t>(rig.settings.tlsServerPort));
  ASSERT_TRUE(plain);
  const char request[] = "GET / HTTP/1.0\r\n\r\n";
  ASSERT_EQ(::send(plain.get(), request, sizeof request - 1, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof request - 1));
  EXPECT_TRUE(ClosedByPeer(plain.get())) << "a client that does not speak TLS is dropped";
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_TRUE(PresenterResponds());
  ReaderArrivesAndIsUpdated();
}

TEST_F(TlsPortIntruder, SilentTcpClientIsDroppedAfterTheSocketTimeOut) {
  ListenWithoutReader();
  UniqueFd silent = ConnectLoopback(static_cast<uint16_t>(rig.settings.tlsServerPort));
  ASSERT_TRUE(silent);
  // 10 s of program time on the scaled clock.
  EXPECT_TRUE(ClosedByPeer(silent.get(), 10000));
  EXPECT_TRUE(PresenterResponds());
  ReaderArrivesAndIsUpdated();
}

// Half a ClientHello, then the client hangs up.
TEST_F(TlsPortIntruder, ClientThatAbortsTheHandshakeIsForgotten) {
  ListenWithoutReader();
  UniqueFd aborting = ConnectLoopback(static_cast<uint16_t>(rig.settings.tlsServerPort));
  ASSERT_TRUE(aborting);
  const uint8_t partialHello[] = {0x16, 0x03, 0x01, 0x02, 0x00, 0x01, 0x00, 0x01, 0xFC, 0x03, 0x03};
  ASSERT_EQ(::send(aborting.get(), partialHello, sizeof partialHello, MSG_NOSIGNAL),
            static_cast<ssize_t>(sizeof partialHello));
  aborting.reset();
  EXPECT_TRUE(PresenterResponds());
  ReaderArrivesAndIsUpdated();
}

TEST_F(FaultRun, TcpServerThatNeverAnswersIsWaitedOutUntilTheReaderComes) {
  const std::string path = AddApplication(3);
  SilentTcpServer silent;
  ASSERT_TRUE(silent.listening());
  ChooseLink(Link::Tcp, silent.port());
  StartDetection();
  // Each attempt connects, asks for the version and waits for the answer in vain.
  ASSERT_TRUE(rig.view.WaitUntil([&] { return silent.accepted() >= 2; }));
  EXPECT_GT(silent.bytesReceived(), 0u);
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(PresenterResponds());
  EXPECT_FALSE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor, 1, 50));

  // The real reader takes over the port.
  const uint16_t port = silent.port();
  silent.Stop();
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  reader = std::make_unique<sim::SimulatedReader>(options);
  tcp = std::make_unique<sim::SimTcpServer>(*reader, port);
  ASSERT_TRUE(tcp->Start());
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor)) << "the reader was not found";
  ExpectSecondUpdateSucceeds(path);
}

}  // namespace
}  // namespace orvane::test
