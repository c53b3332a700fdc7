// The command exchange over every transport, each with a real reader end: a
// pseudo-terminal, the fake HID device, a loopback TCP server and a TLS client.

#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <future>
#include <optional>
#include <thread>

#include "app/clock.h"
#include "bootload/transport_bundle.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "bootload/test_frames.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"
#include "transport/fake_hid_backend.h"
#include "transport/openssl_handles.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrameOf;
using test::Link;
using test::StxAnswerFrame;

// Length of the first whole frame in `bytes` after `zeros` leading zero bytes
// (the serial preamble), or 0 while it is incomplete.
size_t FrameEnd(const Bytes& bytes, size_t& zeros) {
  zeros = 0;
  while (zeros < bytes.size() && bytes[zeros] == 0) ++zeros;
  const size_t left = bytes.size() - zeros;
  const uint8_t* b = bytes.data() + zeros;
  size_t length = 0;
  if (left >= 3 && b[0] == kStx) length = static_cast<size_t>(b[1] | b[2] << 8) + 6;
  if (left >= 14 && b[0] == 'K') length = static_cast<size_t>(b[12] << 8 | b[13]) + 16;
  return length != 0 && left >= length ? zeros + length : 0;
}

// The reader's part: records every command and answers each with the next
// scripted answer (none left: silent).
class ReaderEnd {
 public:
  virtual ~ReaderEnd() = default;
  void QueueAnswer(Bytes answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(answer));
  }
  std::vector<Bytes> Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  size_t PreambleBytes() const {
    std::lock_guard lock(mutex_);
    return preamble_;
  }

 protected:
  std::optional<Bytes> Received(Bytes command, size_t zeros) {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(command));
    preamble_ += zeros;
    if (answers_.empty()) return std::nullopt;
    Bytes answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
  }

 private:
  mutable std::mutex mutex_;
  std::deque<Bytes> answers_;
  std::vector<Bytes> commands_;
  size_t preamble_ = 0;
};

// A reader on a byte stream, served by its own thread.
class StreamReaderEnd : public ReaderEnd {
 public:
  using ReadFn = std::function<ssize_t(uint8_t*, size_t)>;  // >0 bytes, 0 nothing yet, <0 gone
  using WriteFn = std::function<void(const Bytes&)>;

  void Start(ReadFn read, WriteFn write) {
    read_ = std::move(read);
    write_ = std::move(write);
    thread_ = std::thread([this] { Run(); });
  }
  ~StreamReaderEnd() override { Stop(); }
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    Bytes pending;
    uint8_t chunk[4096];
    while (!stop_.load()) {
      const ssize_t n = read_(chunk, sizeof chunk);
      if (n < 0) break;
      pending.insert(pending.end(), chunk, chunk + n);
      size_t zeros = 0;
      while (const size_t end = FrameEnd(pending, zeros)) {
        const auto answer = Received(Bytes(pending.begin() + static_cast<long>(zeros), pending.begin() + static_cast<long>(end)), zeros);
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(end));
        if (answer) write_(*answer);
      }
    }
  }

  ReadFn read_;
  WriteFn write_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 20) == 1;
}

// The fake HID device answers on the host's own thread, in the layout that
// the host's framing uses.
class HidReaderEnd : public ReaderEnd {
 public:
  explicit HidReaderEnd(std::shared_ptr<FakeHidDevice> device) : device_(std::move(device)) {
    device_->SetOutputReportHandler([this](std::span<const uint8_t> report) { OnReport(report); });
  }
  void SetDelayedAnswer(Bytes answer) { delayed_ = std::move(answer); }
  // Puts the delayed answer in the device's input queue.
  void Deliver() {
    if (delayed_) Push(*delayed_);
    delayed_.reset();
  }

 private:
  void OnReport(std::span<const uint8_t> report) {
    const bool counted = report[0] == 0;
    if (counted) {
      counted_ = true;
      const size_t n = report[1] & 0x7F;
      frame_.insert(frame_.end(), report.begin() + 2, report.begin() + 2 + static_cast<long>(n));
      if ((report[1] & 0x80) != 0) return;
    } else {
      counted_ = false;
      frame_.insert(frame_.end(), report.begin() + 1, report.begin() + 64);
      if (report[0] != kHidOnlyReport && report[0] != kHidLastReport) return;
      size_t zeros = 0;
      frame_.resize(std::max(FrameEnd(frame_, zeros), size_t{1}));
    }
    const auto answer = Received(std::move(frame_), 0);
    frame_.clear();
    if (answer) Push(*answer);
  }
  void Push(const Bytes& answer) {
    const size_t per = 63;  // data bytes per report in both layouts
    const size_t reports = std::max<size_t>(1, (answer.size() + per - 1) / per);
    for (size_t i = 0; i < reports; ++i) {
      const size_t at = i * per;
      const size_t n = std::min(per, answer.size() - at);
      const bool last = i + 1 == reports;
      Bytes report(65, 0);
      if (counted_) {
        report[1] = static_cast<uint8_t>(n | (last ? 0 : 0x80));
        std::copy_n(answer.begin() + static_cast<long>(at), n, report.begin() + 2);
      } else {
        report[0] = reports == 1 ? 1 : i == 0 ? 2 : last ? 4 : 3;
        std::copy_n(answer.begin() + static_cast<long>(at), n, report.begin() + 1);
      }
      device_->PushInputReport(report);
    }
  }

  std::shared_ptr<FakeHidDevice> device_;
  Bytes frame_;
  bool counted_ = true;
  std::optional<Bytes> delayed_;
};

// Forwards to the clock the test wants at the moment; pauses can trigger the reader.
class TestClock final : public Clock {
 public:
  void Use(Clock& clock) { inner_.store(&clock); }
  void OnSleep(std::function<void(uint32_t)> hook) { hook_ = std::move(hook); }
  void SleepMs(uint32_t ms) override {
    inner_.load()->SleepMs(ms);
    if (hook_) hook_(ms);
  }
  uint64_t TickMs() override { return inner_.load()->TickMs(); }
  int OsWaitMs(uint32_t ms) override { return inner_.load()->OsWaitMs(ms); }

 private:
  std::atomic<Clock*> inner_;
  std::function<void(uint32_t)> hook_;
};

class ExchangeTest : public ::testing::TestWithParam<Link> {
 protected:
  void SetUp() override {
    clock.Use(scaled);
    switch (GetParam()) {
      case Link::Serial: SetUpSerial(); break;
      case Link::Hid: SetUpHid(); break;
      case Link::Tcp: SetUpTcp(); break;
      case Link::Tls: SetUpTls(); break;
    }
  }
  void TearDown() override {
    if (stream) stream->Stop();
    network.Close();
    if (serverStarted.valid()) serverStarted.wait();
  }

  void SetUpSerial() {
    master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0);
    ASSERT_TRUE(serial.OpenPort(std::string(::ptsname(master.get())) + "/baud=115200/parity=N/stop=1/data=8"));
    channel.setConnectionKind(ConnectionKind::Serial);
    auto end = std::make_unique<StreamReaderEnd>();
    const int fd = master.get();
    end->Start([fd](uint8_t* b, size_t n) -> ssize_t { return Readable(fd) ? std::max<ssize_t>(::read(fd, b, n), -1) : 0; },
               [fd](const Bytes& a) { ASSERT_EQ(::write(fd, a.data(), a.size()), static_cast<ssize_t>(a.size())); });
    reader = end.get();
    stream = std::move(end);
  }

  void SetUpHid() {
    device = std::make_shared<FakeHidDevice>(0x1234, 0x0100);
    backend.AddDevice(device);
    ASSERT_TRUE(hid.Open(0x1234, 0x0100));
    channel.setConnectionKind(ConnectionKind::UsbHid);
    channel.setHidChannelOpen(true);
    hidEnd = std::make_unique<HidReaderEnd>(device);
    reader = hidEnd.get();
  }

  void SetUpTcp() {
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
    auto end = std::make_unique<StreamReaderEnd>();
    const int fd = peer.get();
    end->Start([fd](uint8_t* b, size_t n) -> ssize_t { return Readable(fd) ? std::max<ssize_t>(::recv(fd, b, n, 0), -1) : 0; },
               [fd](const Bytes& a) { ::send(fd, a.data(), a.size(), MSG_NOSIGNAL); });
    reader = end.get();
    stream = std::move(end);
  }

  void SetUpTls() {
    ASSERT_TRUE(test::WriteTestCertificate(certificates.path()));
    network.SetCertificateFolder(certificates.path());
    serverStarted = std::async(std::launch::async, [this] { return network.StartServer(0); });
    int port = 0;
    for (int i = 0; i < 500 && (port = network.ListeningPort()) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_NE(port, 0);
    tlsContext.reset(SSL_CTX_new(TLS_client_method()));
    peer.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(::connect(peer.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    tls.reset(SSL_new(tlsContext.get()));
    SSL_set_fd(tls.get(), peer.get());
    ASSERT_EQ(SSL_connect(tls.get()), 1);
    ASSERT_TRUE(serverStarted.get());
    channel.setConnectionKind(ConnectionKind::TlsServer);
    channel.setFrameProtocol(FrameProtocol::Header);
    auto end = std::make_unique<StreamReaderEnd>();
    SSL* ssl = tls.get();
    const int fd = peer.get();
    end->Start(
        [ssl, fd](uint8_t* b, size_t n) -> ssize_t {
          if (SSL_pending(ssl) == 0 && !Readable(fd)) return 0;
          const int got = SSL_read(ssl, b, static_cast<int>(n));
          ERR_clear_error();
          return got > 0 ? got : -1;
        },
        [ssl](const Bytes& a) { SSL_write(ssl, a.data(), static_cast<int>(a.size())); });
    reader = end.get();
    stream = std::move(end);
  }

  bool Exchange(const Bytes& frame, ResponseWait wait, bool preamble = false, const char* name = "Get Firmware Version") {
    CommandRecord record;
    EXPECT_TRUE(record.Set(name, 0, frame.data(), frame.size()));
    responseLength = 0xFFFF;
    statusCode = 0xBEEF;
    return channel.ExchangeCommand(record, response.data(), responseLength, statusCode, wait, preamble);
  }
  Bytes Response() const { return Bytes(response.begin(), response.begin() + responseLength); }
  // Ends the link from the reader's side: the serial line hangs up, the USB
  // device is unplugged, the connection is closed.
  void DropLink() {
    switch (GetParam()) {
      case Link::Serial:
        stream->Stop();
        master.reset();
        break;
      case Link::Hid:
        device->SetPresent(false);
        break;
      case Link::Tcp:
      case Link::Tls:
        ::shutdown(peer.get(), SHUT_RDWR);
        // Long enough for the end of the stream to reach the tool's socket.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        break;
    }
  }
  Bytes Request() const {
    return channel.frameProtocol() == FrameProtocol::Header ? HeaderFrameOf(0x29, 0x00, {}) : StxAnswerFrame({0x52, 0x56});
  }
  std::string CommandText(const Bytes& frame, const char* name = "Get Firmware Version") const {
    return "\r\n======================\r\n" + std::string(name) + ":\r\n" + FormatHexSpaced(frame);
  }

  TestClock clock;
  ScopedClock scopedClock{clock};
  ScaledClock scaled{20};
  ManualClock manual;

  BootloadSettings settings;
  FakeHidBackend backend;
  TransportBundle transports{settings, backend};
  HidDevice& hid = transports.hid();
  SerialPort& serial = transports.serial();
  NetworkLink& network = transports.network();
  ReaderChannel& channel = transports.channel();

  ReaderEnd* reader = nullptr;
  std::unique_ptr<StreamReaderEnd> stream;
  std::unique_ptr<HidReaderEnd> hidEnd;
  std::shared_ptr<FakeHidDevice> device;
  UniqueFd master;
  UniqueFd peer;
  test::TempDir certificates;
  std::future<bool> serverStarted;
  SslContextPtr tlsContext;
  SslPtr tls;

  std::array<uint8_t, kResponseBufferSize> response{};
  uint32_t responseLength = 0;
  ReaderStatus statusCode = 0;
};

// ---- every transport ----

TEST_P(ExchangeTest, HeaderAnswerIsTakenAsItIsAndNotLogged) {
  channel.setFrameProtocol(FrameProtocol::Header);
  const Bytes answer = HeaderFrameOf(0x29, 0x00, {'V', '1', '.', '0', 0x00});
  reader->QueueAnswer(answer);
  // The lock is recursive: an exchange inside a held lock goes through.
  std::lock_guard held(channel.ExchangeLock());
  ASSERT_TRUE(Exchange(Request(), ResponseWait::Poll, true));
  EXPECT_EQ(Response(), answer);
  EXPECT_EQ(statusCode, 0xBEEF);
  EXPECT_EQ(channel.ExchangeText(), CommandText(Request()));
  EXPECT_EQ(reader->Commands(), std::vector<Bytes>{Request()});
  EXPECT_EQ(reader->PreambleBytes(), GetParam() == Link::Serial ? 100u : 0u) << "preamble only on the serial line";
}

TEST_P(ExchangeTest, SilentReaderIsPolledThenLoggedAsNoResponse) {
  channel.setFrameProtocol(FrameProtocol::Header);
  clock.Use(manual);
  EXPECT_FALSE(Exchange(Request(), ResponseWait::PollLong));
  EXPECT_EQ(channel.ExchangeText(), CommandText(Request()) + "\r\nResponse: NULL\r\n");
  EXPECT_EQ(responseLength, 0xFFFFu);
  // The TLS read already waits for the whole frame time: one attempt only.
  const size_t attempts = GetParam() == Link::Tls ? 1 : 25;
  std::vector<uint32_t> pauses = manual.Sleeps();
  std::erase_if(pauses, [](uint32_t ms) { return ms != 10; });
  EXPECT_EQ(pauses.size(), attempts);
  if (GetParam() == Link::Serial) {
    EXPECT_EQ(manual.Waits(), std::vector<uint32_t>(25, 2500));
  }
}

// A link lost while the tool waits for an answer ends the wait at once
// instead of every poll attempt waiting out its time.
TEST_P(ExchangeTest, LostLinkEndsTheAnswerWaitAtOnce) {
  channel.setFrameProtocol(FrameProtocol::Header);
  clock.Use(manual);
  bool dropped = false;
  clock.OnSleep([&](uint32_t) {
    if (!dropped) DropLink();
    dropped = true;
  });
  auto exchange = std::async(std::launch::async, [&] { return Exchange(Request(), ResponseWait::PollLong); });
  // Program time stands still here: a wait that does not end by itself is
  // moved on, so that the test fails on the time it took instead of hanging.
  for (auto slice = std::chrono::milliseconds(5000); exchange.wait_for(slice) != std::future_status::ready;
       slice = std::chrono::milliseconds(50)) {
    manual.Advance(1000);
  }
  EXPECT_FALSE(exchange.get());
  clock.OnSleep(nullptr);
  ASSERT_TRUE(dropped);
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{10}) << "one poll attempt, no retry pause";
  // At most one read's own wait (the serial line's 2500 ms is the longest).
  EXPECT_LE(manual.TickMs(), 3000u);
  EXPECT_TRUE(channel.LinkLost());
  EXPECT_EQ(channel.ExchangeText(),
            CommandText(Request()) + "\r\nResponse: NULL\r\n\r\n" + channel.LinkLossText() + "\r\n");
  // A later command fails without waiting for anything.
  manual.ClearRecords();
  EXPECT_FALSE(Exchange(Request(), ResponseWait::Poll));
  EXPECT_TRUE(manual.Sleeps().empty());
}

TEST_P(ExchangeTest, SendOnlyReturnsAtOnceAndFreesTheLock) {
  channel.setFrameProtocol(FrameProtocol::Header);
  clock.Use(manual);
  reader->QueueAnswer(HeaderFrameOf(0x29, 0x00, {}));
  ASSERT_TRUE(Exchange(Request(), ResponseWait::SendOnly, true));
  EXPECT_EQ(responseLength, 0xFFFFu);
  // Only the serial preamble pauses.
  EXPECT_EQ(manual.Sleeps(), GetParam() == Link::Serial ? std::vector<uint32_t>{100} : std::vector<uint32_t>{});
  EXPECT_TRUE(manual.Waits().empty());
  auto other = std::async(std::launch::async, [&] {
    const bool free = channel.ExchangeLock().try_lock();
    if (free) channel.ExchangeLock().unlock();
    return free;
  });
  EXPECT_TRUE(other.get());
}

TEST_P(ExchangeTest, LongAnswerFillsTheBufferAtMost) {
  channel.setFrameProtocol(FrameProtocol::Header);
  const Bytes answer = HeaderFrameOf(0x29, 0x00, Bytes(1500, 0x33));
  reader->QueueAnswer(answer);
  ASSERT_TRUE(Exchange(Request(), ResponseWait::Poll));
  ASSERT_EQ(responseLength, kResponseBufferSize);
  EXPECT_TRUE(std::equal(response.begin(), response.end(), answer.begin()));
}

INSTANTIATE_TEST_SUITE_P(Transports, ExchangeTest, ::testing::Values(Link::Serial, Link::Hid, Link::Tcp, Link::Tls),
                         [](const auto& info) { return test::LinkName(info.param); });

// ---- network links: one command's answer is never taken for another's ----

class NetworkExchangeTest : public ExchangeTest {};

struct LateAnswerCase {
  const char* what;
  Bytes lateAnswer;  // the answer to an earlier command
  Bytes request;     // the next command
  Bytes answer;      // the reader's answer to it
};

const LateAnswerCase kLateAnswerCases[] = {
    {"identification before the entry", HeaderFrameOf(0x29, 0x00, {'V', '1'}), HeaderFrameOf(0xC7, 0x41, {}),
     HeaderFrameOf(0xC7, 0x05, {})},
    {"pass-through before identification", HeaderFrameOf(0x63, 0x00, {}), HeaderFrameOf(0x29, 0x00, {}),
     HeaderFrameOf(0x29, 0x00, {'B', 'L'})},
    {"entry before identification", HeaderFrameOf(0xC7, 0x00, {}), HeaderFrameOf(0x29, 0x00, {}),
     HeaderFrameOf(0x29, 0x00, {'A', 'P'})},
    {"identification before a kernel command", HeaderFrameOf(0x29, 0x00, {'V'}), HeaderFrameOf(0xC7, 0x11, {1, 2, 3}),
     HeaderFrameOf(0xC7, 0x0B, {})},
};

// The late answer came after its own wait ended and lies unread on the link
// when the next command is sent.
TEST_P(NetworkExchangeTest, AnswerLeftOnTheLinkIsDroppedBeforeTheNextCommand) {
  channel.setFrameProtocol(FrameProtocol::Header);
  for (const LateAnswerCase& c : kLateAnswerCases) {
    SCOPED_TRACE(c.what);
    const size_t before = reader->Commands().size();
    reader->QueueAnswer(c.lateAnswer);
    ASSERT_TRUE(Exchange(HeaderFrameOf(0x01, 0x00, {}), ResponseWait::SendOnly));
    for (int i = 0; i < 200 && reader->Commands().size() == before; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the answer reaches the tool's socket
    reader->QueueAnswer(c.answer);
    Exchange(c.request, ResponseWait::Poll);
    EXPECT_EQ(Response(), c.answer);
  }
}

// The late answer arrives while the tool waits for the next command's answer.
TEST_P(NetworkExchangeTest, AnswerEchoingAnotherCommandIsSkipped) {
  channel.setFrameProtocol(FrameProtocol::Header);
  for (const LateAnswerCase& c : kLateAnswerCases) {
    SCOPED_TRACE(c.what);
    Bytes both = c.lateAnswer;
    both.insert(both.end(), c.answer.begin(), c.answer.end());
    reader->QueueAnswer(both);
    Exchange(c.request, ResponseWait::ReadOnce);
    EXPECT_EQ(Response(), c.answer);
    EXPECT_NE(channel.ExchangeText().find("\r\nAnswer to another command, skipped:\r\n" +
                                          FormatHexSpaced(c.lateAnswer)),
              std::string::npos);
  }
}

// The finish commands of kernel and UniApp loads wait through "busy" answers.
TEST_P(NetworkExchangeTest, BusyAnswersToTheFinishCommands) {
  channel.setFrameProtocol(FrameProtocol::Header);
  const Bytes busy = HeaderFrameOf(0xC7, 0x63, {});
  ReaderStatus status = 0xEE;
  // A second busy answer: false, and no message of its own.
  Bytes twice = busy;
  twice.insert(twice.end(), busy.begin(), busy.end());
  reader->QueueAnswer(twice);
  EXPECT_FALSE(channel.FinishUniAppLoad(status, 0x10));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText());
  // The kernel's finish takes busy for a refusal.
  channel.ClearSessionText();
  reader->QueueAnswer(busy);
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

// Busy, then nothing more: the wait ends and the command is not sent again.
TEST_P(NetworkExchangeTest, BusyReaderThatNeverFinishesIsGivenUp) {
  channel.setFrameProtocol(FrameProtocol::Header);
  reader->QueueAnswer(HeaderFrameOf(0xC7, 0x63, {}));
  // Program time jumps once the busy wait begins (its first 500 ms pause):
  // the busy answer needs real time to arrive, the silent waits after it do not.
  bool jumped = false;
  clock.OnSleep([&](uint32_t ms) {
    if (ms != 500 || jumped) return;
    manual.Advance(scaled.TickMs());
    clock.Use(manual);
    jumped = true;
  });
  ReaderStatus status = 0xEE;
  EXPECT_FALSE(channel.FinishUniAppLoad(status, 0x10));
  clock.OnSleep(nullptr);
  EXPECT_TRUE(jumped);
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(reader->Commands().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Transports, NetworkExchangeTest, ::testing::Values(Link::Tcp, Link::Tls),
                         [](const auto& info) { return test::LinkName(info.param); });

// ---- STX framing: serial and HID ----

class StxExchangeTest : public ExchangeTest {};

TEST_P(StxExchangeTest, AnswersAreJudgedAndLogged) {
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
    reader->QueueAnswer(c.answer);
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
}

TEST_P(StxExchangeTest, FailedSendLogsOnlyTheCommand) {
  if (GetParam() == Link::Serial) {
    serial.ClosePort();
  } else {
    device->SetPresent(false);
  }
  EXPECT_FALSE(Exchange(Request(), ResponseWait::Poll));
  EXPECT_EQ(channel.ExchangeText(), CommandText(Request()));
}

INSTANTIATE_TEST_SUITE_P(Transports, StxExchangeTest, ::testing::Values(Link::Serial, Link::Hid),
                         [](const auto& info) { return test::LinkName(info.param); });

class HidExchangeTest : public ExchangeTest {};

TEST_P(HidExchangeTest, EmptyReadIsRetriedOnce300msLater) {
  clock.Use(manual);
  hidEnd->SetDelayedAnswer({0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03});
  clock.OnSleep([this](uint32_t ms) {
    if (ms == 300) hidEnd->Deliver();
  });
  EXPECT_TRUE(Exchange(Request(), ResponseWait::ReadOnce));
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{300});
  EXPECT_EQ(manual.Waits(), (std::vector<uint32_t>{1024, 1024}));
  clock.OnSleep(nullptr);
  manual.ClearRecords();
  EXPECT_FALSE(Exchange(Request(), ResponseWait::ReadOnce));
  EXPECT_EQ(manual.Sleeps(), std::vector<uint32_t>{300});
}

TEST_P(HidExchangeTest, StxSendFindsTheReaderAgainFirst) {
  const int opened = device->OpenCount();
  reader->QueueAnswer({0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03});
  ASSERT_TRUE(Exchange(Request(), ResponseWait::Poll));
  EXPECT_EQ(device->OpenCount(), opened + 1);
  channel.setFrameProtocol(FrameProtocol::Header);
  reader->QueueAnswer(HeaderFrameOf(0x29, 0x00, {}));
  ASSERT_TRUE(Exchange(Request(), ResponseWait::Poll));
  EXPECT_EQ(device->OpenCount(), opened + 1);
}

INSTANTIATE_TEST_SUITE_P(Transports, HidExchangeTest, ::testing::Values(Link::Hid),
                         [](const auto& info) { return test::LinkName(info.param); });

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
}

}  // namespace
}  // namespace orvane
