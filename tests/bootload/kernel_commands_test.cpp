// Begin and finish commands around kernel and UniApp loads.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/clock.h"
#include "bootload/reader_bench.h"
#include "bootload/scripted_tcp_peer.h"
#include "bootload/test_frames.h"
#include "firmware/firmware_file.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrameOf;
using test::Link;
using test::ReaderBench;

constexpr uint32_t kFileLength = 70000;

std::vector<FirmwareSection> RawChunks(Bytes& content) {
  test::TempDir dir;
  const std::string path = dir.File("module.bin");
  content = BuildRawModule(kFileLength, 7);
  EXPECT_TRUE(WriteBytesToFile(path, content));
  FirmwareFile file;
  EXPECT_TRUE(file.LoadRawChunks(path));
  return file.chunks;
}

// Program time runs 20 times faster than real time until the busy wait
// begins (its first 500 ms pause), then 20000 times faster: the answer to the
// finish command needs real time to arrive, the 80 silent waits of 10.5 s do not.
class BusyWaitClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override {
    if (ms == 500 && !fast_.load()) {
      shiftedAt_ = slow_.TickMs();
      fastStart_ = fastClock_.TickMs();
      fast_.store(true);
    }
    Current().SleepMs(ms);
  }
  uint64_t TickMs() override {
    return fast_.load() ? shiftedAt_ + (fastClock_.TickMs() - fastStart_) : slow_.TickMs();
  }
  int OsWaitMs(uint32_t ms) override { return Current().OsWaitMs(ms); }

 private:
  Clock& Current() { return fast_.load() ? static_cast<Clock&>(fastClock_) : slow_; }

  ScaledClock slow_{20};
  ScaledClock fastClock_{20000};
  uint64_t shiftedAt_ = 0;
  uint64_t fastStart_ = 0;
  std::atomic<bool> fast_{false};
};

sim::ReaderOptions Bootloader() {
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  return options;
}

TEST(KernelCommandsTest, KernelLoadFromBeginToFinish) {
  ReaderBench bench(Bootloader());
  ASSERT_TRUE(bench.Connect(Link::Tcp));
  bench.TakeReceived();
  ReaderChannel& channel = bench.channel();
  Bytes content;
  const std::vector<FirmwareSection> chunks = RawChunks(content);

  ReaderStatus status = 0xEE;
  ASSERT_TRUE(channel.BeginKernelLoad(status, 3, kFileLength, 0, 0));
  EXPECT_EQ(status, 0);
  const Bytes begin = bench.TakeReceived().at(0);
  EXPECT_EQ(begin.size(), 28u);
  EXPECT_EQ(begin, HeaderFrameOf(0xC7, 0x11, {0x03, 0x70, 0x11, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_NE(channel.ExchangeText().find("Start Kernal Update:"), std::string::npos);

  int count = 0;
  ASSERT_TRUE(channel.QueueKernelBlocks(3, chunks, count));
  ASSERT_TRUE(channel.RunCommandQueue({}));
  ASSERT_TRUE(channel.FinishKernelLoad(status, 3));
  EXPECT_EQ(bench.TakeReceived().back(), HeaderFrameOf(0xC7, 0x15, {0x03}));
  // Newest first: the finish command's account leads the session text.
  EXPECT_EQ(channel.SessionText().rfind(channel.ExchangeText(), 0), 0u);

  const std::vector<sim::ReceivedModule> modules = bench.reader().Modules();
  ASSERT_EQ(modules.size(), 1u);
  EXPECT_EQ(modules[0].announcedLength, kFileLength);
  EXPECT_EQ(modules[0].data, content);
  EXPECT_TRUE(modules[0].finished);
}

TEST(KernelCommandsTest, UniAppLoadWaitsThroughBusy) {
  ReaderBench bench(Bootloader());
  ASSERT_TRUE(bench.Connect(Link::Tcp));
  bench.TakeReceived();
  ReaderChannel& channel = bench.channel();
  Bytes content;
  const std::vector<FirmwareSection> chunks = RawChunks(content);

  ReaderStatus status = 0xEE;
  ASSERT_TRUE(channel.BeginUniAppLoad(status, 0x10, kFileLength));
  EXPECT_EQ(bench.TakeReceived().at(0), HeaderFrameOf(0xC7, 0x45, {0x10, 0x70, 0x11, 0x01, 0x00}));
  int count = 0;
  ASSERT_TRUE(channel.QueueUniAppBlocks(0x10, chunks, count));
  ASSERT_TRUE(channel.RunCommandQueue({}));
  channel.ClearSessionText();
  // The reader says busy (0x63) and gives its verdict a second later.
  EXPECT_TRUE(channel.FinishUniAppLoad(status, 0x10));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText());
  EXPECT_EQ(bench.reader().Modules().at(0).data, content);
  EXPECT_TRUE(bench.reader().Modules().at(0).finished);
}

TEST(KernelCommandsTest, RefusalsAndSilence) {
  const Bytes identified = HeaderFrameOf(0x29, 0x00, {'B', 'O', 'O', 'T'});
  const Bytes busy = HeaderFrameOf(0xC7, 0x63, {});
  // identification; finish UniApp: busy, busy again; finish kernel: busy;
  // begin kernel: silence.
  test::ScriptedTcpPeer peer({{identified}, {busy, busy}, {busy}, {}});
  ReaderBench bench;
  std::string text;
  ASSERT_TRUE(bench.channel().ConnectTcpClient(text, "127.0.0.1", peer.port(), false));
  ReaderChannel& channel = bench.channel();
  ReaderStatus status = 0xEE;

  // A second busy answer: false, and no message of its own.
  EXPECT_FALSE(channel.FinishUniAppLoad(status, 0x10));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText());

  channel.ClearSessionText();
  EXPECT_FALSE(channel.FinishKernelLoad(status, 0x03));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText() + "\r\nError Code:0x63. Contact command is OK\r\n");

  channel.ClearSessionText();
  EXPECT_FALSE(channel.BeginKernelLoad(status, 0x03, kFileLength, 0, 0));
  EXPECT_EQ(status, 0xFF);
  EXPECT_EQ(channel.SessionText(), channel.ExchangeText() + "\r\nError Code:0xFF. Error,Unknow Error.\r\n");
}

TEST(KernelCommandsTest, BusyReaderThatNeverFinishesIsGivenUp) {
  // The finish command is answered "busy", then nothing more comes.
  const Bytes identified = HeaderFrameOf(0x29, 0x00, {'B', 'O', 'O', 'T'});
  test::ScriptedTcpPeer peer({{identified}, {HeaderFrameOf(0xC7, 0x63, {})}});
  ReaderBench bench;
  std::string text;
  ASSERT_TRUE(bench.channel().ConnectTcpClient(text, "127.0.0.1", peer.port(), false));
  BusyWaitClock clock;
  ScopedClock scoped(clock);
  ReaderStatus status = 0xEE;
  EXPECT_FALSE(bench.channel().FinishUniAppLoad(status, 0x10));
  EXPECT_EQ(status, 0x63);
  EXPECT_EQ(peer.Requests().size(), 2u);
}

}  // namespace
}  // namespace orvane
