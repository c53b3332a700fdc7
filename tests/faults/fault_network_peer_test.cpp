// Network peers that are not the reader, or not the reader yet: strangers on
// the TLS port.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

// Connects to 127.0.0.1:port, retrying for up to `realMs` (the server may not listen yet).
UniqueFd ConnectLoopback(uint16_t port, int realMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (std::chrono::steady_clock::now() > deadline) return {};
    ::poll(nullptr, 0, 5);
  }
}

// True when the other side closed the connection within `realMs`; what it sends is read and dropped.
bool ClosedByPeer(int fd, int realMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
  }
  return false;
}

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

}  // namespace
}  // namespace orvane::test
