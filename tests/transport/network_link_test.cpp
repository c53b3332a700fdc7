#include "transport/network_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "app/clock.h"
#include "app/unique_fd.h"
#include "network_test_peers.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"
#include "transport/openssl_handles.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrame;
using test::Joined;

Bytes Read(NetworkLink& link, size_t capacity = 2048, uint32_t timeoutMs = 5000) {
  Bytes buffer(capacity);
  buffer.resize(link.ReadFrame(buffer, timeoutMs));
  return buffer;
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

// A closed connection is seen at once: reads end without waiting, sends fail.
TEST_F(TcpLinkTest, PeerThatClosesIsLostAtOnce) {
  peer.reset();
  const uint64_t start = TickMs();
  EXPECT_TRUE(Read(link).empty());
  EXPECT_TRUE(Read(link).empty());
  EXPECT_LT(TickMs() - start, 1000u);
  EXPECT_TRUE(link.Lost());
  EXPECT_FALSE(link.IsConnected());
  const Bytes frame = HeaderFrame(0x29, 0);
  EXPECT_EQ(link.Send(frame.data(), frame.size()), -1);
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

// The messages are the command-line and window tests' to check.
TEST(TlsLink, MissingKeyOrCertificateStopsTheServer) {
  ScaledClock clock{20};  // the server's start pause takes 50 ms
  ScopedClock scoped{clock};
  test::TempDir dir;
  ASSERT_TRUE(test::WriteTestCertificate(dir.path()));
  NetworkLink link;
  link.SetCertificateFolder(dir.path());
  std::remove(dir.File("server_key.pem").c_str());
  EXPECT_FALSE(link.StartServer(0));
  std::remove(dir.File("server_cert.pem").c_str());
  EXPECT_FALSE(link.StartServer(0));
}

// A TLS client that offers only `version`; true when the handshake completes.
bool HandshakeAt(uint16_t port, int version) {
  SslContextPtr ctx(SSL_CTX_new(TLS_client_method()));
  SSL_CTX_set_security_level(ctx.get(), 0);  // so that it offers old versions at all
  SSL_CTX_set_cipher_list(ctx.get(), "DEFAULT:@SECLEVEL=0");
  SSL_CTX_set_min_proto_version(ctx.get(), version);
  SSL_CTX_set_max_proto_version(ctx.get(), version);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  UniqueFd fd;
  for (int tries = 0; tries < 500 && !fd; ++tries) {  // until the server listens
    fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) break;
    fd.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const timeval limit{5, 0};  // a server that never answers fails the test, not the suite
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  SslPtr ssl(SSL_new(ctx.get()));
  SSL_set_fd(ssl.get(), fd.get());
  const bool ok = fd && SSL_connect(ssl.get()) == 1;
  ERR_clear_error();
  return ok;
}

// TLS 1.2 and 1.3 are taken; anything older is refused, and the server
// waits on for a client it can take.
TEST(TlsLink, RefusesVersionsBelowTls12) {
  ScaledClock clock{20};
  ScopedClock scoped{clock};
  test::TempDir dir;
  ASSERT_TRUE(test::WriteTestCertificate(dir.path()));
  NetworkLink link;
  link.SetCertificateFolder(dir.path());
  for (auto [version, taken] : {std::pair{TLS1_1_VERSION, false}, {TLS1_2_VERSION, true}, {TLS1_3_VERSION, true}}) {
    const uint16_t port = test::FreeLoopbackPort();
    auto started = std::async(std::launch::async, [&] { return link.StartServer(port); });
    EXPECT_EQ(HandshakeAt(port, version), taken) << "version " << std::hex << version;
    if (!taken) {
      EXPECT_TRUE(HandshakeAt(port, TLS1_2_VERSION));
    }
    EXPECT_TRUE(started.get());
    link.Close();
  }
}

}  // namespace
}  // namespace orvane
