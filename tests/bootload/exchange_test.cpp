// The command exchange over the fake HID device and a loopback TCP
// connection, with answers scripted by each test. The reader end answers on
// the tool's own thread: on TCP once the tool waits for input after a whole
// command, on HID once the command's last report is in. (The whole runs and
// the fault runs drive the serial line.)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <future>
#include <thread>

#include "app/clock.h"
#include "bootload/test_frames.h"
#include "bootload/transport_bundle.h"
#include "protocol/hex_text.h"
#include "support/links.h"
#include "transport/fake_hid_backend.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrameOf;
using test::Link;
using test::StxAnswerFrame;

// Forwards to the clock the test wants at the moment, and lets the reader end
// act in the tool's pauses and before its waits for input. A wait the reader
// end has just answered lasts long enough in real time for the answer to arrive.
class TestClock final : public Clock {
 public:
  void Use(Clock& clock) { inner_.store(&clock); }
  void SleepMs(uint32_t ms) override {
    inner_.load()->SleepMs(ms);
    if (onSleep) onSleep(ms);
  }
  uint64_t TickMs() override { return inner_.load()->TickMs(); }
  int OsWaitMs(uint32_t ms) override {
    const int real = inner_.load()->OsWaitMs(ms);
    return onWait && onWait() ? std::max(real, 200) : real;
  }
  std::function<void(uint32_t)> onSleep;
  std::function<bool()> onWait;

 private:
  std::atomic<Clock*> inner_;
};

class ExchangeTest : public ::testing::TestWithParam<Link> {
 protected:
  void SetUp() override {
    clock.Use(scaled);
    clock.onWait = [this] { return AnswerStreamCommand(); };
    switch (GetParam()) {
      case Link::Hid:
        device = std::make_shared<FakeHidDevice>(0x1234, 0x0100);
        backend.AddDevice(device);
        ASSERT_TRUE(hid.Open(0x1234, 0x0100));
        channel.setConnectionKind(ConnectionKind::UsbHid);
        channel.setHidChannelOpen(true);
        device->SetOutputReportHandler([this](std::span<const uint8_t> report) {
          const bool last = report[0] == 0 ? (report[1] & kHidMoreReports) == 0
                                           : report[0] == kHidOnlyReport || report[0] == kHidLastReport;
          if (last && !answers.empty()) PushHidAnswer();
        });
        break;
      default: {
        UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener.get(), 1), 0);
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
        ASSERT_TRUE(network.ConnectClient("127.0.0.1", ntohs(address.sin_port)));
        peer.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        ASSERT_TRUE(peer);
        channel.setConnectionKind(ConnectionKind::TcpClient);
        channel.setFrameProtocol(FrameProtocol::Header);
      }
    }
  }
  void TearDown() override { network.Close(); }

  // What the tool wrote to the connection; `wait`: until a whole frame is there.
  Bytes ReadCommand(bool wait) {
    Bytes got;
    for (int i = 0; i < (wait ? 50 : 1); ++i) {
      pollfd p{peer.get(), POLLIN, 0};
      uint8_t chunk[4096];
      const ssize_t n = ::poll(&p, 1, wait ? 10 : 0) == 1 ? ::recv(peer.get(), chunk, sizeof chunk, 0) : 0;
      if (n > 0) got.insert(got.end(), chunk, chunk + n);
      if (LeadingFrameLength(got, FrameProtocol::Header) != 0) break;
    }
    return got;
  }
  bool AnswerStreamCommand() {
    if (answers.empty() || GetParam() == Link::Hid) return false;
    commands.push_back(ReadCommand(true));
    const Bytes answer = answers.front();
    answers.pop_front();
    EXPECT_EQ(::send(peer.get(), answer.data(), answer.size(), MSG_NOSIGNAL), static_cast<ssize_t>(answer.size()));
    return true;
  }
  // In the report layout of the framing: counted for STX, sequenced for header frames.
  void PushHidAnswer() {
    const Bytes answer = answers.front();
    answers.pop_front();
    const bool counted = channel.frameProtocol() == FrameProtocol::Stx;
    const size_t reports = std::max<size_t>(1, (answer.size() + kHidReportData - 1) / kHidReportData);
    for (size_t i = 0; i < reports; ++i) {
      const size_t at = i * kHidReportData;
      const size_t n = std::min(kHidReportData, answer.size() - at);
      const bool last = i + 1 == reports;
      Bytes report(kHidReportData + 2, 0);
      if (counted) {
        report[1] = static_cast<uint8_t>(n | (last ? 0 : kHidMoreReports));
      } else {
        report[0] = reports == 1 ? kHidOnlyReport : i == 0 ? kHidFirstReport : last ? kHidLastReport : kHidMiddleReport;
      }
      std::copy_n(answer.begin() + static_cast<long>(at), n, report.begin() + (counted ? 2 : 1));
      device->PushInputReport(report);
    }
  }

  bool Exchange(const Bytes& frame, ResponseWait wait, bool preamble = false) {
    CommandRecord record;
    EXPECT_TRUE(record.Set("Get Firmware Version", 0, frame.data(), frame.size()));
    responseLength = 0xFFFF;
    statusCode = 0xBEEF;
    return channel.ExchangeCommand(record, response.data(), responseLength, statusCode, wait, preamble);
  }
  Bytes Response() const { return Bytes(response.begin(), response.begin() + responseLength); }
  // Ends the link from the reader's side: the USB device is unplugged, the
  // connection is closed.
  void DropLink() {
    if (GetParam() == Link::Hid) {
      device->SetPresent(false);
      return;
    }
    ::shutdown(peer.get(), SHUT_RDWR);
    // Long enough for the end of the stream to reach the tool's socket.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Bytes Request() const {
    return channel.frameProtocol() == FrameProtocol::Header ? HeaderFrameOf(0x29, 0x00, {})
                                                            : StxAnswerFrame({0x52, 0x56});
  }
  std::string CommandText(const Bytes& frame) const {
    return "\r\n======================\r\nGet Firmware Version:\r\n" + FormatHexSpaced(frame);
  }

  TestClock clock;
  ScopedClock scopedClock{clock};
  ScaledClock scaled{20};
  ManualClock manual;

  BootloadSettings settings;
  FakeHidBackend backend;
  TransportBundle transports{settings, backend};
  HidDevice& hid = transports.hid();
  NetworkLink& network = transports.network();
  ReaderChannel& channel = transports.channel();

  std::deque<Bytes> answers;    // the reader's next answers, one per command
  std::vector<Bytes> commands;  // what the TCP reader received, one entry per answer
  UniqueFd peer;
  std::shared_ptr<FakeHidDevice> device;

  std::array<uint8_t, kResponseBufferSize> response{};
  uint32_t responseLength = 0;
  ReaderStatus statusCode = 0;
};

// ---- every link ----

TEST_P(ExchangeTest, HeaderAnswerIsTakenAsItIsUpToTheBufferAndNotLogged) {
  channel.setFrameProtocol(FrameProtocol::Header);
  const Bytes answer = HeaderFrameOf(0x29, 0x00, Bytes(1500, 0x33));
  answers.push_back(answer);
  // The lock is recursive: an exchange inside a held lock goes through.
  std::lock_guard held(channel.ExchangeLock());
  ASSERT_TRUE(Exchange(Request(), ResponseWait::Poll));
  ASSERT_EQ(responseLength, kResponseBufferSize);
  EXPECT_TRUE(std::equal(response.begin(), response.end(), answer.begin()));
  EXPECT_EQ(statusCode, 0xBEEF);
  EXPECT_EQ(channel.ExchangeText(), CommandText(Request()));
  if (GetParam() == Link::Tcp) {
    EXPECT_EQ(commands, std::vector<Bytes>{Request()});
  }
}

// A link lost while the tool waits for an answer ends the wait at once
// instead of every poll attempt waiting out its time.
TEST_P(ExchangeTest, LostLinkEndsTheAnswerWaitAtOnce) {
  channel.setFrameProtocol(FrameProtocol::Header);
  clock.Use(manual);
  bool dropped = false;
  clock.onSleep = [&](uint32_t) {
    if (!dropped) DropLink();
    dropped = true;
  };
  auto exchange = std::async(std::launch::async, [&] { return Exchange(Request(), ResponseWait::PollLong); });
  // Program time stands still here: a wait that does not end by itself is
  // moved on, so that the test fails on the time it took instead of hanging.
  for (auto slice = std::chrono::milliseconds(5000); exchange.wait_for(slice) != std::future_status::ready;
       slice = std::chrono::milliseconds(50)) {
    manual.Advance(1000);
  }
  EXPECT_FALSE(exchange.get());
  clock.onSleep = nullptr;
  ASSERT_TRUE(dropped);
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{10}) << "one poll attempt, no retry pause";
  // At most one read's own wait.
  EXPECT_LE(manual.TickMs(), 3000u);
  EXPECT_TRUE(channel.LinkLost());
  EXPECT_EQ(channel.ExchangeText(),
            CommandText(Request()) + "\r\nResponse: NULL\r\n\r\n" + channel.LinkLossText() + "\r\n");
  // A later command fails without waiting for anything.
  manual.ClearRecords();
  EXPECT_FALSE(Exchange(Request(), ResponseWait::Poll));
  EXPECT_TRUE(manual.Sleeps().empty());
}

INSTANTIATE_TEST_SUITE_P(Transports, ExchangeTest, ::testing::Values(Link::Hid, Link::Tcp),
                         [](const auto& info) { return test::LinkName(info.param); });

// ---- the network link: one command's answer is never taken for another's ----

class NetworkExchangeTest : public ExchangeTest {};

// The late answer to an earlier command arrives while the tool waits for the
// next command's answer; the second one comes without its first letter.
TEST_P(NetworkExchangeTest, AnswerEchoingAnotherCommandIsSkipped) {
  const struct {
    Bytes lateAnswer, request, answer;
  } cases[] = {
      {HeaderFrameOf(0x29, 0x00, {'V', '1'}), HeaderFrameOf(0xC7, 0x41, {}), HeaderFrameOf(0xC7, 0x05, {})},
      {HeaderFrameOf(0x63, 0x00, {}), HeaderFrameOf(0x29, 0x00, {}), HeaderFrameOf(0x29, 0x00, {'B', 'L'})},
  };
  for (const auto& c : cases) {
    const Bytes late(c.lateAnswer.begin() + (&c == &cases[1] ? 1 : 0), c.lateAnswer.end());
    Bytes both = late;
    both.insert(both.end(), c.answer.begin(), c.answer.end());
    answers.push_back(both);
    Exchange(c.request, ResponseWait::Poll);
    EXPECT_EQ(Response(), c.answer);
    EXPECT_NE(
        channel.ExchangeText().find("\r\nAnswer to another command, skipped:\r\n" + FormatHexSpaced(c.lateAnswer)),
        std::string::npos);
  }
}

// The finish commands of kernel and UniApp loads wait through "busy" answers.
TEST_P(NetworkExchangeTest, BusyAnswersToTheFinishCommands) {
  const Bytes busy = HeaderFrameOf(0xC7, 0x63, {});
  ReaderStatus status = 0xEE;
  // A second busy answer: false, and no message of its own.
  Bytes twice = busy;
  twice.insert(twice.end(), busy.begin(), busy.end());
  answers.push_back(twice);
  EXPECT_FALSE(channel.FinishUniAppLoad(status, 0x10));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText());
  // The kernel's finish takes busy for a refusal.
  channel.ClearSessionText();
  answers.push_back(busy);
  EXPECT_FALSE(channel.FinishKernelLoad(status, 0x03));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText() + "\r\nError Code:0x63. Contact command is OK\r\n");
  // Silence: status 0xFF.
  channel.ClearSessionText();
  clock.Use(manual);
  EXPECT_FALSE(channel.BeginKernelLoad(status, 0x03, 70000, 0, 0));
  EXPECT_EQ(status, 0xFF);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText() + "\r\nError Code:0xFF. Error,Unknow Error.\r\n");
}

// Busy, then nothing more: the wait ends and the command is not sent again;
// a link lost during the wait ends it at once.
TEST_P(NetworkExchangeTest, BusyReaderThatNeverFinishesIsGivenUp) {
  clock.Use(manual);
  answers.push_back(HeaderFrameOf(0xC7, 0x63, {}));
  ReaderStatus status = 0xEE;
  EXPECT_FALSE(channel.FinishUniAppLoad(status, 0x10));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>(80, 500));
  EXPECT_EQ(commands.size(), 1u);
  EXPECT_TRUE(ReadCommand(false).empty());

  manual.ClearRecords();
  answers.push_back(HeaderFrameOf(0xC7, 0x63, {}));
  clock.onSleep = [this](uint32_t) { DropLink(); };
  EXPECT_FALSE(channel.FinishUniAppLoad(status, 0x10));
  clock.onSleep = nullptr;
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{500});
}

INSTANTIATE_TEST_SUITE_P(Transports, NetworkExchangeTest, ::testing::Values(Link::Tcp),
                         [](const auto& info) { return test::LinkName(info.param); });

// ---- HID in STX framing ----

class HidExchangeTest : public ExchangeTest {};

TEST_P(HidExchangeTest, StxAnswersAreJudgedAndLogged) {
  struct Case {
    const char* what;
    Bytes answer;
    bool ok;
    ReaderStatus status;  // 0xBEEF: left alone
    std::string logTail;
    std::string session;
  };
  const Bytes ack{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03};
  EXPECT_EQ(FormatHexSpaced({}), "");  // no bytes, no stray blank
  const Bytes nak = StxAnswerFrame({0x15, 0x6A, 0x00});
  const Bytes wrongLength{0x02, 0x02, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};
  Bytes misframed = StxAnswerFrame({0x06, 0x01, 0x02});
  misframed[0] = 0x7E;
  const Case cases[] = {
      {"ACK", ack, true, 0x0606, "\r\nResponse:\r\n02 01 00 06 06 06 03", "earlier"},
      {"NAK with the reader's message", nak, false, 0x6A00,
       "\r\nResponse:\r\n" + FormatHexSpaced(nak) +
           "\r\nERROR:\r\nUnsupported Command - Protocol and task ID are right, but command is invalid",
       "earlier"},
      {"wrong length marks the session", wrongLength, false, 0xBEEF, "\r\nResponse:\r\n" + FormatHexSpaced(wrongLength),
       "\r\nRESP NOT TVK PROTOCOL:\r\nearlier"},
      // Six bytes or fewer: not STX, but no protocol note either.
      {"short", {0x02, 0x00, 0x00, 0x06, 0x00, 0x03}, false, 0xBEEF, "", "earlier"},
      // Right length with a wrong first byte still counts as success.
      {"misframed", misframed, true, 0xBEEF, "", "earlier"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    channel.SetSessionText("earlier");
    answers.push_back(c.answer);
    EXPECT_EQ(Exchange(Request(), ResponseWait::Poll), c.ok);
    EXPECT_EQ(statusCode, c.status);
    if (c.status != 0xBEEF) {
      EXPECT_EQ(channel.lastStatusCode(), c.status);
    }
    if (!c.logTail.empty()) {
      EXPECT_EQ(channel.ExchangeText(), CommandText(Request()) + c.logTail);
    }
    EXPECT_EQ(channel.SessionText(), c.session);
  }
  // A send that fails logs only the command.
  device->SetPresent(false);
  EXPECT_FALSE(Exchange(Request(), ResponseWait::Poll));
  EXPECT_EQ(channel.ExchangeText(), CommandText(Request()));
}

TEST_P(HidExchangeTest, EmptyReadIsRetriedOnce300msLater) {
  clock.Use(manual);
  clock.onSleep = [this](uint32_t ms) {
    if (ms != 300) return;
    answers.push_back({0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03});
    PushHidAnswer();
  };
  EXPECT_TRUE(Exchange(Request(), ResponseWait::ReadOnce));
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{300});
  EXPECT_EQ(manual.Waits(), (std::vector<uint32_t>{1024, 1024}));
  clock.onSleep = nullptr;
  manual.ClearRecords();
  EXPECT_FALSE(Exchange(Request(), ResponseWait::ReadOnce));
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{300});
}

INSTANTIATE_TEST_SUITE_P(Transports, HidExchangeTest, ::testing::Values(Link::Hid),
                         [](const auto& info) { return test::LinkName(info.param); });

// Only the serial line wakes a sleeping reader with 100 zero bytes, after
// which the command waits 100 ms.
TEST(SerialExchange, PreambleGoesFirst) {
  ManualClock manual;
  ScopedClock scoped(manual);
  BootloadSettings settings;
  FakeHidBackend backend;
  TransportBundle transports{settings, backend};
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(master && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0);
  ASSERT_TRUE(
      transports.serial().OpenPort(std::string(::ptsname(master.get())) + "/baud=115200/parity=N/stop=1/data=8"));
  transports.channel().setConnectionKind(ConnectionKind::Serial);
  const Bytes frame = HeaderFrameOf(0x29, 0x00, {});
  CommandRecord record;
  ASSERT_TRUE(record.Set("Get Firmware Version", 0, frame.data(), frame.size()));
  std::array<uint8_t, kResponseBufferSize> answer{};
  uint32_t length = 0;
  ReaderStatus status = 0;
  EXPECT_TRUE(
      transports.channel().ExchangeCommand(record, answer.data(), length, status, ResponseWait::SendOnly, true));
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{100});
  Bytes expected(100, 0);
  expected.insert(expected.end(), frame.begin(), frame.end());
  Bytes got;
  for (pollfd p{master.get(), POLLIN, 0}; got.size() < expected.size() && ::poll(&p, 1, 1000) == 1;) {
    uint8_t chunk[256];
    got.insert(got.end(), chunk, chunk + std::max<ssize_t>(::read(master.get(), chunk, sizeof chunk), 0));
  }
  EXPECT_EQ(got, expected);
}

TEST(CommandRecord, SetRefusesFramesThatDoNotFitAndCutsLongNames) {
  CommandRecord record;
  const Bytes fits(kCommandFrameCapacity, 0x11);
  ASSERT_TRUE(record.Set(std::string(300, 'n'), 32, fits.data(), fits.size()));
  EXPECT_EQ(std::string(record.name), std::string(255, 'n'));
  EXPECT_EQ(record.frameLength, kCommandFrameCapacity);
  const Bytes tooLong(kCommandFrameCapacity + 1, 0x22);
  EXPECT_FALSE(record.Set("other", 33, tooLong.data(), tooLong.size()));
  EXPECT_EQ(record.commandId, 32u);
  EXPECT_EQ(record.frame[0], 0x11);
  EXPECT_FALSE(record.Set("no bytes", 34, nullptr, 4));
  EXPECT_TRUE(record.Set("empty", 35, nullptr, 0));
  EXPECT_EQ(record.frameLength, 0u);
}

}  // namespace
}  // namespace orvane
