#include "reader-sim/sim_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "sim_test_frames.h"
#include "sim_test_io.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

UniqueFd Connect(uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

class SimTcp : public ::testing::Test {
 protected:
  ScaledClock clock_{100};  // a 60 s reboot lasts 0.6 s
  ScopedClock scoped_{clock_};
};

TEST_F(SimTcp, AnswersFramesThatArriveTogetherOrInPieces) {
  SimulatedReader reader;
  SimTcpServer server(reader, 0);
  ASSERT_TRUE(server.Start());
  ASSERT_NE(server.Port(), 0);
  UniqueFd fd = Connect(server.Port());
  ASSERT_TRUE(fd);

  Bytes answer = HeaderAnswer(0x29, 0x00, Text("Orvane Taviron2 APP V2.00.020"));
  ASSERT_TRUE(WriteAll(fd.get(), Cat(IdentifyHeader(), IdentifyHeader())));
  EXPECT_EQ(ReadFor(fd.get(), 3000, 2 * answer.size()), Cat(answer, answer));

  Bytes request = IdentifyHeader();
  ASSERT_TRUE(WriteAll(fd.get(), Bytes(request.begin(), request.begin() + 5)));
  EXPECT_TRUE(WaitUntil([&] { return reader.ReceivedFrames().size() == 2; }));
  ASSERT_TRUE(WriteAll(fd.get(), Bytes(request.begin() + 5, request.end())));
  EXPECT_EQ(ReadAnswer(fd.get()), answer);
  EXPECT_EQ(reader.ReceivedFrames().size(), 3u);
  EXPECT_TRUE(WaitUntil([&] { return reader.SentAnswers().size() == 3; }));
}

TEST_F(SimTcp, RebootClosesTheConnectionAndListensAgainLater) {
  ReaderOptions o;
  o.rebootDelayMs = 60000;
  SimulatedReader reader(o);
  SimTcpServer server(reader, 0);
  ASSERT_TRUE(server.Start());
  UniqueFd fd = Connect(server.Port());
  ASSERT_TRUE(WriteAll(fd.get(), HeaderFrame(0xC7, 0x41)));
  EXPECT_EQ(ReadAnswer(fd.get()), HeaderAnswer(0xC7, 0x00));
  bool closed = false;
  EXPECT_TRUE(ReadFor(fd.get(), 3000, 1, &closed).empty());
  EXPECT_TRUE(closed);
  EXPECT_FALSE(Connect(server.Port())) << "nobody listens while the reader reboots";

  UniqueFd again;
  EXPECT_TRUE(WaitUntil([&] { return bool(again = Connect(server.Port())); }));
  ASSERT_TRUE(WriteAll(again.get(), IdentifyHeader()));
  uint8_t status = 0xEE;
  Bytes data(64);
  data.resize(ParseHeaderResponse(ReadAnswer(again.get()), data, &status));
  EXPECT_EQ(status, 0x00);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 13), "Bootloader FW");
  EXPECT_EQ(server.ConnectionsAccepted(), 2u);
}

TEST_F(SimTcp, ANewClientReplacesTheOldOne) {
  SimulatedReader reader;
  SimTcpServer server(reader, 0);
  ASSERT_TRUE(server.Start());
  UniqueFd first = Connect(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return server.ConnectionsAccepted() == 1; }));
  UniqueFd second = Connect(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return server.ConnectionsAccepted() == 2; }));
  bool closed = false;
  ReadFor(first.get(), 3000, 1, &closed);
  EXPECT_TRUE(closed);
  ASSERT_TRUE(WriteAll(second.get(), IdentifyHeader()));
  EXPECT_FALSE(ReadAnswer(second.get()).empty());
}

TEST_F(SimTcp, DroppedLinkAtABlockAndLateUniAppVerdict) {
  ReaderOptions o;
  o.mode = ReaderMode::Bootloader;
  o.rebootDelayMs = 100;
  o.blockFaults.push_back({3, FaultKind::DropLink, 0, false});
  SimulatedReader reader(o);
  SimTcpServer server(reader, 0);
  ASSERT_TRUE(server.Start());
  UniqueFd fd = Connect(server.Port());
  auto sections = ModuleSections(0x1000, 2, 16);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(WriteAll(fd.get(), HeaderBlock(sections[i].address, sections[i].data)));
    EXPECT_EQ(ReadAnswer(fd.get()), HeaderAnswer(0xC7, 0x00));
  }
  ASSERT_TRUE(WriteAll(fd.get(), HeaderBlock(sections[2].address, sections[2].data)));
  bool closed = false;
  EXPECT_TRUE(ReadFor(fd.get(), 3000, 1, &closed).empty());
  EXPECT_TRUE(closed);

  UniqueFd again;
  ASSERT_TRUE(WaitUntil([&] { return bool(again = Connect(server.Port())); }));
  ASSERT_TRUE(WriteAll(again.get(), HeaderFrame(0xC7, 0x45, {16, 2, 0, 0, 0})));
  EXPECT_EQ(ReadAnswer(again.get()), HeaderAnswer(0xC7, 0x00));
  ASSERT_TRUE(WriteAll(again.get(), HeaderFrame(0xC7, 0x46, {16, 0, 0, 0, 0xAA, 0xBB})));
  EXPECT_EQ(ReadAnswer(again.get()), HeaderAnswer(0xC7, 0x00));
  ASSERT_TRUE(WriteAll(again.get(), HeaderFrame(0xC7, 0x47, {16})));
  EXPECT_EQ(ReadAnswer(again.get()), HeaderAnswer(0xC7, 0x63));  // busy storing
  EXPECT_EQ(ReadAnswer(again.get()), HeaderAnswer(0xC7, 0x00));  // then the verdict
}

}  // namespace
}  // namespace orvane::sim
