// Network peers that are not the reader, or not the reader yet: strangers on
// the TLS port, and a TCP server that accepts and never answers.

#include <sys/socket.h>

#include "faults/fault_run.h"
#include "faults/loopback.h"

namespace orvane::test {
namespace {

class TlsPortIntruder : public FaultRun {
 protected:
  // The TLS handshake's 10 s are 100 real ms on the usual clock: too little
  // for a busy machine, and a reader dropped in its handshake comes again.
  TlsPortIntruder() : FaultRun(20) {}
};

// A plain TCP client, one that says nothing until the socket time-out, and
// one that hangs up in the middle of its ClientHello are dropped in turn,
// and the reader still gets in.
TEST_F(TlsPortIntruder, StrangersAreDroppedAndTheReaderStillGetsIn) {
  const std::string path = AddApp("app.fm", 3);
  const uint16_t port = FreeLoopbackPort();
  ASSERT_NE(port, 0);
  ChooseLink(Link::Tls, port);
  StartDetection();

  UniqueFd plain = ConnectLoopback(port);
  const char request[] = "GET / HTTP/1.0\r\n\r\n";
  ASSERT_EQ(::send(plain.get(), request, sizeof request - 1, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof request - 1));
  EXPECT_TRUE(ClosedByPeer(plain.get())) << "a client that does not speak TLS is dropped";
  UniqueFd silent = ConnectLoopback(port);
  EXPECT_TRUE(ClosedByPeer(silent.get(), 10000)) << "10 s of program time on the scaled clock";
  UniqueFd aborting = ConnectLoopback(port);
  const uint8_t partialHello[] = {0x16, 0x03, 0x01, 0x02, 0x00, 0x01, 0x00, 0x01, 0xFC, 0x03, 0x03};
  ASSERT_EQ(::send(aborting.get(), partialHello, sizeof partialHello, MSG_NOSIGNAL),
            static_cast<ssize_t>(sizeof partialHello));
  aborting.reset();
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_TRUE(PresenterResponds());

  reader = std::make_unique<sim::SimulatedReader>(InBootloader());
  tls = std::make_unique<sim::SimTlsClient>(*reader, "127.0.0.1", port);
  ASSERT_TRUE(tls->Start());
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor)) << "the reader was not let in";
  EXPECT_EQ(tls->Handshakes(), 1u);
  ExpectSecondUpdateSucceeds(path);
}

TEST_F(FaultRun, TcpServerThatNeverAnswersIsWaitedOutUntilTheReaderComes) {
  const std::string path = AddApp("app.fm", 3);
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = LoopbackAddress(0);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(::listen(listener.get(), 4), 0);
  ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
  const uint16_t port = ntohs(address.sin_port);
  ChooseLink(Link::Tcp, port);
  StartDetection();
  // Each attempt connects, asks for the version and waits for the answer in vain.
  std::vector<UniqueFd> attempts;
  for (int attempt = 0; attempt < 2; ++attempt) {
    pollfd waiting{listener.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 30000), 1) << "attempt " << attempt;
    attempts.emplace_back(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    pollfd asked{attempts.back().get(), POLLIN, 0};
    EXPECT_EQ(::poll(&asked, 1, 30000), 1) << "the version request";
  }
  EXPECT_FALSE(rig.engine->ready());
  EXPECT_TRUE(rig.engine->attention());
  EXPECT_TRUE(PresenterResponds());
  EXPECT_EQ(rig.view.Delivered(ViewMessageKind::Refresh, ViewRefresh::StartMonitor), 0);

  // The real reader takes over the port.
  attempts.clear();
  listener.reset();
  reader = std::make_unique<sim::SimulatedReader>(InBootloader());
  tcp = std::make_unique<sim::SimTcpServer>(*reader, port);
  ASSERT_TRUE(tcp->Start());
  ASSERT_TRUE(rig.view.WaitForDelivered(ViewRefresh::StartMonitor)) << "the reader was not found";
  ExpectSecondUpdateSucceeds(path);
}

}  // namespace
}  // namespace orvane::test
