// Block queues: what the builders frame, and how a run sends, resumes,
// repeats and ends, against the simulated reader.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootload/reader_bench.h"
#include "bootload/test_frames.h"
#include "firmware/firmware_file.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::Bytes;
using test::Link;
using test::ReaderBench;

constexpr char kSucceeded[] = "\r\nBootload Succeeded! \r\n";

// The sections of a module file with `blocks` data blocks, as the parser cuts them.
std::vector<FirmwareSection> ModuleSections(uint16_t blocks, uint16_t blockSize = 32, bool preamble = true) {
  test::TempDir dir;
  ModuleSpec spec;
  spec.securityType = std::string(kSecurityTypeNonPci);
  spec.infoText = "V1";
  spec.blockCount = blocks;
  spec.blockSize = blockSize;
  if (!preamble) spec.preambleLength = 0;
  const std::string path = dir.File("module.fm");
  EXPECT_TRUE(WriteModuleFile(path, spec));
  FirmwareFile file;
  EXPECT_EQ(file.ParseModuleFile(path), ParseResult::Ok);
  return file.sections;
}

sim::ReaderOptions BootloaderReader(FrameProtocol framing = FrameProtocol::Header) {
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  options.typeChar = '3';
  options.framing = framing;
  return options;
}

struct Progress {
  std::vector<int> positions;
  int total = -1;
  ProgressCallback callback() {
    return [this](int position, int queued) {
      positions.push_back(position);
      total = queued;
    };
  }
};

TEST(BlockQueueTest, OversizedPieceOrQueueIsRefusedBeforeAnythingIsSent) {
  ReaderBench bench(BootloaderReader());
  ASSERT_TRUE(bench.Connect(Link::Tcp));
  bench.TakeReceived();
  ReaderChannel& channel = bench.channel();

  std::vector<FirmwareSection> sections = ModuleSections(3);
  sections[3].data.resize(kMaxPieceLength + 1);
  int count = 0;
  EXPECT_FALSE(channel.QueueBootloadBlocks(sections, count));
  EXPECT_EQ(count, 6);
  EXPECT_EQ(channel.QueueLength(), 5u);
  Progress progress;
  EXPECT_FALSE(channel.RunCommandQueue(progress.callback()));
  EXPECT_TRUE(progress.positions.empty());
  EXPECT_TRUE(bench.TakeReceived().empty());
  EXPECT_EQ(channel.SessionText(),
            "\r\nPiece No.4 is longer than 1040 bytes, the file cannot be sent. Bootload Failed! \r\n");

  // Exactly 1040 bytes still fit every framing, and 2048 commands a queue.
  sections[3].data.resize(kMaxPieceLength);
  EXPECT_TRUE(channel.QueueBootloadBlocksStx(sections, count));
  EXPECT_EQ(channel.QueueLength(), 6u);
  EXPECT_TRUE(channel.QueueBootloadBlocks(ModuleSections(2045, 16), count));
  EXPECT_EQ(channel.QueueLength(), kMaxQueueLength);

  // Modules the parser leaves unread, as they can never be sent: refused the
  // same way, and their records are not held.
  channel.ClearSessionText();
  EXPECT_TRUE(channel.QueueBootloadBlocks(ModuleSections(2047), count));
  EXPECT_EQ(count, 2050);
  EXPECT_EQ(channel.QueueLength(), 0u);
  EXPECT_FALSE(channel.RunCommandQueue(progress.callback()));
  EXPECT_TRUE(bench.TakeReceived().empty());
  EXPECT_EQ(channel.SessionText(), "\r\nThe file needs 2050 commands, more than 2048. Bootload Failed! \r\n");

  channel.ClearSessionText();
  EXPECT_FALSE(channel.QueueBootloadBlocks(ModuleSections(2, kMaxPieceLength + 1), count));
  EXPECT_EQ(count, 5);
  EXPECT_FALSE(channel.RunCommandQueue(progress.callback()));
  EXPECT_TRUE(progress.positions.empty());
  EXPECT_TRUE(bench.TakeReceived().empty());
  EXPECT_EQ(channel.SessionText(),
            "\r\nPiece No.3 is longer than 1040 bytes, the file cannot be sent. Bootload Failed! \r\n");
}

// A reader whose stop package is 5 holds data blocks 0 to 4 of an
// interrupted module load. Only a module's queue resumes there, and by data
// block, with or without a preamble; kernel chunks all go out (UniApp chunks
// share their queue rules).
TEST(BlockQueueTest, ResumeSkipsTheBlocksTheReaderHas) {
  enum class Queue { Module, ModuleWithoutPreamble, Kernel };
  struct Case {
    Queue queue;
    int reserve;
    std::vector<int> positions;  // progress positions, i.e. the records sent
  };
  const Case cases[] = {
      {Queue::Module, 1, {1, 2, 8, 9, 10, 11}},
      {Queue::Module, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {Queue::ModuleWithoutPreamble, 1, {6, 7, 8, 9}},
      {Queue::ModuleWithoutPreamble, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {Queue::Kernel, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.queue) * 10 + c.reserve);
    sim::ReaderOptions options = BootloaderReader();
    options.stopPackage = 5;
    ReaderBench bench(options);
    bench.settings().enableInterruptPointReserve = c.reserve;
    ASSERT_TRUE(bench.Connect(Link::Tcp));
    ASSERT_EQ(bench.channel().deviceInfo().stopPackage, 5);
    ReaderChannel& channel = bench.channel();
    const bool raw = c.queue == Queue::Kernel;

    std::vector<FirmwareSection> pieces;
    Bytes content;
    int count = 0;
    ReaderStatus status = 0;
    if (raw) {
      test::TempDir dir;
      content = BuildRawModule(10 * kRawChunkLength, 3);
      FirmwareFile file;
      ASSERT_TRUE(WriteBytesToFile(dir.File("module.fm"), content));
      ASSERT_TRUE(file.LoadRawChunks(dir.File("module.fm")));
      pieces = file.chunks;
      ASSERT_TRUE(channel.BeginKernelLoad(status, 3, file.fileLength, 0, 0));
      channel.QueueKernelBlocks(3, pieces, count);
    } else {
      pieces = ModuleSections(8, 32, c.queue == Queue::Module);
      channel.QueueBootloadBlocks(pieces, count);
    }
    bench.TakeReceived();
    Progress progress;
    EXPECT_TRUE(channel.RunCommandQueue(progress.callback()));
    EXPECT_EQ(progress.positions, c.positions);
    EXPECT_EQ(progress.total, static_cast<int>(pieces.size()));

    const std::vector<Bytes> received = bench.TakeReceived();
    ASSERT_EQ(received.size(), c.positions.size());
    if (raw) {
      ASSERT_EQ(bench.reader().Modules().size(), 1u);
      EXPECT_EQ(bench.reader().Modules()[0].data, content);
      continue;
    }
    for (size_t i = 0; i < received.size(); ++i) {
      const Bytes& frame = received[i];
      const uint32_t address =
          uint32_t{frame[14]} | uint32_t{frame[15]} << 8 | uint32_t{frame[16]} << 16 | uint32_t{frame[17]} << 24;
      EXPECT_EQ(address, pieces[static_cast<size_t>(c.positions[i] - 1)].address) << i;
    }
  }
}

TEST(BlockQueueTest, EmptyQueueSucceedsWithItsLineOnly) {
  ReaderBench bench;
  // In STX framing kernel and UniApp pieces have no form: counted, not queued.
  FirmwareSection chunk;
  chunk.data = Bytes(1024, 0x11);
  int count = -1;
  bench.channel().setFrameProtocol(FrameProtocol::Stx);
  EXPECT_TRUE(bench.channel().QueueKernelBlocks(0x03, {chunk, chunk}, count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(bench.channel().QueueLength(), 0u);
  EXPECT_TRUE(bench.channel().QueueBootloadBlocks({}, count));
  EXPECT_EQ(count, 0);
  Progress progress;
  EXPECT_TRUE(bench.channel().RunCommandQueue(progress.callback()));
  EXPECT_TRUE(bench.channel().RunCommandQueueStx(progress.callback()));
  EXPECT_TRUE(progress.positions.empty());
  EXPECT_EQ(bench.channel().SessionText(), std::string(kSucceeded) + kSucceeded);
  // A run without a progress callback, on a channel with no link.
  bench.channel().setFrameProtocol(FrameProtocol::Header);
  ASSERT_TRUE(bench.channel().QueueBootloadBlocks(ModuleSections(1), count));
  EXPECT_FALSE(bench.channel().RunCommandQueue({}));
}

TEST(BlockQueueTest, UnansweredBlockIsSentOnceMoreExceptOnThePassThroughRun) {
  // Over TLS an unanswered poll ends after one frame wait, which keeps this short.
  sim::ReaderOptions options = BootloaderReader();
  options.blockFaults.push_back({.block = 2, .kind = sim::FaultKind::Silent, .code = 0, .always = false});
  ReaderBench bench(options);
  ASSERT_TRUE(bench.Connect(Link::Tls));
  const std::vector<FirmwareSection> sections = ModuleSections(2);
  int count = 0;
  bench.channel().QueueBootloadBlocks(sections, count);
  bench.TakeReceived();
  Progress progress;
  EXPECT_TRUE(bench.channel().RunCommandQueue(progress.callback()));
  EXPECT_EQ(progress.positions, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(bench.TakeReceived().size(), sections.size() + 1);
  EXPECT_THAT(bench.channel().SessionText(), ::testing::EndsWith(std::string("NO RESP.\r\n") + kSucceeded));

  // The pass-through run does not try again. (A network reader outside
  // pass-through mode does not answer STX frames at all.)
  bench.channel().ClearSessionText();
  bench.channel().QueueBootloadBlocksStx(sections, count);
  EXPECT_FALSE(bench.channel().RunCommandQueueStx(progress.callback()));
  EXPECT_EQ(bench.TakeReceived().size(), 1u);
  EXPECT_EQ(bench.channel().SessionText(), "NO RESP.\r\n");
}

}  // namespace
}  // namespace orvane
