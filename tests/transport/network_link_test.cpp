#include "transport/network_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>
#include <thread>

#include "app/clock.h"
#include "network_test_peers.h"
#include "support/child_process.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrame;
using test::Joined;
using test::ShortFormFrame;

Bytes Read(NetworkLink& link, size_t capacity = 2048, uint32_t timeoutMs = 5000) {
  Bytes buffer(capacity);
  buffer.resize(link.ReadFrame(buffer, timeoutMs));
  return buffer;
}

// A closed connection is seen at once: reads end without waiting, sends fail.
void ExpectLostAtOnce(NetworkLink& link) {
  const uint64_t start = TickMs();
  EXPECT_TRUE(Read(link).empty());
  EXPECT_TRUE(Read(link).empty());
  EXPECT_LT(TickMs() - start, 1000u);
  EXPECT_TRUE(link.Lost());
  EXPECT_FALSE(link.IsConnected());
  const Bytes frame = HeaderFrame(0x29, 0);
  EXPECT_EQ(link.Send(frame.data(), frame.size()), -1);
}

// ---- TCP client against a loopback listener playing the reader ----

class TcpLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener.get(), 4), 0);
    ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
    port = ntohs(address.sin_port);
    Connect();
  }
  // The connection is in the listener's backlog once the link has connected.
  void Connect() {
    ASSERT_TRUE(link.ConnectClient("127.0.0.1", port));
    peer.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(peer);
  }
  bool Send(const Bytes& bytes) {
    return ::send(peer.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  // Program time runs 20 times faster: the 5000 ms frame wait takes 250 ms.
  ScaledClock clock{20};
  ScopedClock scoped{clock};
  UniqueFd listener;
  UniqueFd peer;
  int port = 0;
  NetworkLink link;
};

// A frame that lost its first letter is taken as it is when it comes alone,
// and restored when another frame follows it.
TEST_F(TcpLinkTest, ShortFormFrames) {
  ASSERT_TRUE(Send(ShortFormFrame(0x29, 7)));
  EXPECT_EQ(Read(link), ShortFormFrame(0x29, 7));
  ASSERT_TRUE(Send(Joined({ShortFormFrame(0x29, 7), HeaderFrame(0x30, 3)})));
  EXPECT_EQ(Read(link), HeaderFrame(0x29, 7));
  EXPECT_EQ(Read(link), HeaderFrame(0x30, 3));
}

// A frame of the connection before a reconnect (say, before the reader's
// restart into its bootloader) is never read as an answer on the new one.
TEST_F(TcpLinkTest, FramesOfAnEndedConnectionAreNeverReadAfterIt) {
  ASSERT_TRUE(Send(Joined({HeaderFrame(0x29, 2, 0x11), HeaderFrame(0x30, 3, 0x22)})));
  EXPECT_EQ(Read(link), HeaderFrame(0x29, 2, 0x11));
  ASSERT_EQ(link.PendingFrameCount(), 1u);
  link.Close();
  EXPECT_EQ(link.PendingFrameCount(), 0u);
  Connect();
  EXPECT_TRUE(Read(link, 2048, 500).empty());
}

// What the link holds unread when a request goes out is an answer to an
// earlier one: it is dropped, so that it cannot be taken for this one's.
TEST_F(TcpLinkTest, SendDropsWhatWasNotReadBeforeIt) {
  ASSERT_TRUE(Send(Joined({HeaderFrame(0x29, 2), HeaderFrame(0x30, 3)})));
  EXPECT_EQ(Read(link), HeaderFrame(0x29, 2));
  ASSERT_TRUE(Send(HeaderFrame(0x31, 4)));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // on the tool's socket by now
  const Bytes request = HeaderFrame(0xC7, 0);
  ASSERT_EQ(link.Send(request.data(), request.size()), 16);
  EXPECT_EQ(link.PendingFrameCount(), 0u);
  ASSERT_TRUE(Send(HeaderFrame(0xC7, 1)));
  EXPECT_EQ(Read(link), HeaderFrame(0xC7, 1));
}

// A reader silent for a whole receive time-out may be gone without a word:
// the link no longer counts as connected (a connect makes a new one), but the
// socket stays and a late answer is still read. A read waiting on a silent
// reader when the link is closed (shutdown, a new connection) ends then.
TEST_F(TcpLinkTest, SilenceForAWholeReceiveTimeOutEndsConnectedButNotTheSocket) {
  EXPECT_TRUE(Read(link, 2048, 2000).empty());
  EXPECT_TRUE(link.IsConnected()) << "2 s of silence are no time-out";
  EXPECT_TRUE(Read(link).empty());
  EXPECT_FALSE(link.IsConnected());
  EXPECT_FALSE(link.Lost());
  ASSERT_TRUE(Send(HeaderFrame(0x29, 1)));
  EXPECT_EQ(Read(link), HeaderFrame(0x29, 1));
  auto reading = std::async(std::launch::async, [this] {
    const uint64_t start = TickMs();
    return Read(link, 2048, 60000).empty() && TickMs() - start < 60000;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  link.Close();
  EXPECT_TRUE(reading.get()) << "a read waiting 60 s ends, empty, when the link is closed";
}

TEST_F(TcpLinkTest, PeerThatClosesIsLostAtOnce) {
  peer.reset();
  ExpectLostAtOnce(link);
}

TEST(TcpLink, ConnectFailures) {
  ScaledClock clock{20};
  ScopedClock scoped{clock};
  NetworkLink link;
  EXPECT_FALSE(link.ConnectClient("not an address", 1234));
  EXPECT_FALSE(link.ConnectClient("127.0.0.1", test::FreeLoopbackPort()));  // nothing listens
  EXPECT_FALSE(link.IsConnected());
  const uint8_t byte = 0;
  EXPECT_EQ(link.Send(&byte, 1), -1);
  link.Close();
  EXPECT_EQ(link.kind(), NetworkLink::Kind::None);
  EXPECT_EQ(link.Send(&byte, 1), -1);
  EXPECT_TRUE(Read(link).empty());
}

// ---- TLS server ----

class TlsLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::WriteTestCertificate(dir.path()));
    link.SetCertificateFolder(dir.path());
  }
  void TearDown() override {
    link.Close();
    if (started.valid()) started.wait();
  }

  // Starts the server in the background and waits until it listens.
  int StartServer() {
    started = std::async(std::launch::async, [this] { return link.StartServer(0); });
    for (int i = 0; i < 500 && link.ListeningPort() == 0; ++i) {
      if (started.wait_for(std::chrono::milliseconds(10)) == std::future_status::ready) break;
    }
    return link.ListeningPort();
  }

  ScaledClock clock{20};
  ScopedClock scoped{clock};
  test::TempDir dir;
  NetworkLink link;
  std::future<bool> started;
};

TEST_F(TlsLinkTest, CloseEndsAServerWaitingForItsReader) {
  ASSERT_NE(StartServer(), 0);
  const auto before = std::chrono::steady_clock::now();
  link.Close();
  EXPECT_TRUE(started.wait_for(std::chrono::seconds(1)) == std::future_status::ready);
  EXPECT_FALSE(started.get());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
}

// The message is the command-line and window tests' to check.
TEST_F(TlsLinkTest, MissingKeyOrCertificateStopsTheServer) {
  std::remove(dir.File("server_key.pem").c_str());
  EXPECT_FALSE(link.StartServer(0));
  std::remove(dir.File("server_cert.pem").c_str());
  EXPECT_FALSE(link.StartServer(0));
}

// The outside world's TLS client, openssl s_client, completes the handshake
// and exchanges frames; when it is gone, the link sees so at once.
TEST_F(TlsLinkTest, PeerThatClosesIsLostAtOnce) {
  const int port = StartServer();
  ASSERT_NE(port, 0);
  test::ProcessSpec spec =
      test::ProcessSpec::Of({"openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(port), "-quiet"});
  spec.keepInput = true;
  test::BackgroundProcess client(spec);
  ASSERT_TRUE(client.Started());
  ASSERT_TRUE(started.wait_for(std::chrono::seconds(10)) == std::future_status::ready && started.get());
  EXPECT_EQ(link.kind(), NetworkLink::Kind::TlsServer);

  const Bytes request = HeaderFrame(0x29, 8, 0x41);
  ASSERT_EQ(link.Send(request.data(), request.size()), static_cast<int>(request.size()));
  const std::string received = client.Read(request.size(), std::chrono::seconds(5));
  EXPECT_EQ(Bytes(received.begin(), received.end()), request);
  const Bytes answer = HeaderFrame(0x29, 12, 0x42);
  ASSERT_TRUE(client.Write(std::string(answer.begin(), answer.end())));
  EXPECT_EQ(Read(link), answer);

  client.Signal(SIGKILL);
  ExpectLostAtOnce(link);
}

}  // namespace
}  // namespace orvane
