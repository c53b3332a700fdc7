#include "reader-sim/sim_tls_client.h"

#include <gtest/gtest.h>

#include "app/clock.h"
#include "sim_test_frames.h"
#include "sim_test_io.h"
#include "tls_test_server.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

class SimTls : public ::testing::Test {
 protected:
  ScaledClock clock_{100};
  ScopedClock scoped_{clock_};
};

TEST_F(SimTls, ConnectsAnswersAndComesBackAfterAReboot) {
  TlsTestServer server;
  ASSERT_TRUE(server.ok());
  SimulatedReader reader;
  SimTlsClient client(reader, "127.0.0.1", server.port());
  ASSERT_TRUE(client.Start());
  ASSERT_TRUE(server.Accept());

  ASSERT_TRUE(server.Send(IdentifyHeader()));
  EXPECT_EQ(server.ReadAnswer(), HeaderAnswer(0x29, 0x00, Text("Orvane Taviron2 APP V2.00.020")));

  ASSERT_TRUE(server.Send(HeaderFrame(0xC7, 0x41)));
  EXPECT_EQ(server.ReadAnswer(), HeaderAnswer(0xC7, 0x00));
  bool closed = false;
  EXPECT_TRUE(server.ReadAnswer(3000, &closed).empty());
  EXPECT_TRUE(closed) << "the reader drops the link to reboot";

  ASSERT_TRUE(server.Accept());  // it connects again by itself
  ASSERT_TRUE(server.Send(IdentifyHeader()));
  Bytes answer = server.ReadAnswer();
  ASSERT_GT(answer.size(), 30u);
  EXPECT_EQ(std::string(answer.begin() + 14, answer.begin() + 27), "Bootloader FW");
  EXPECT_EQ(client.Handshakes(), 2u);
}

TEST_F(SimTls, ReconnectsWhenTheToolRestartsItsServer) {
  TlsTestServer server;
  ASSERT_TRUE(server.ok());
  SimulatedReader reader;
  SimTlsClient client(reader, "localhost", server.port());
  ASSERT_TRUE(client.Start());
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(WaitUntil([&] { return client.Connected(); }));
  server.CloseClient();
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(server.Send(IdentifyHeader()));
  EXPECT_FALSE(server.ReadAnswer().empty());
  client.Stop();
  EXPECT_FALSE(client.Connected());
}

TEST_F(SimTls, KeepsTryingUntilTheServerListens) {
  uint16_t port;
  {
    TlsTestServer probe;  // a port that is free now
    port = probe.port();
  }
  SimulatedReader reader;
  SimTlsClient client(reader, "127.0.0.1", port);
  ASSERT_TRUE(client.Start());
  TlsTestServer server(port);
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(server.Send(IdentifyHeader()));
  EXPECT_FALSE(server.ReadAnswer().empty());
}

}  // namespace
}  // namespace orvane::sim
