// Block queues: what the builders frame, and how a run sends, resumes,
// repeats and ends, against the simulated reader.

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
using test::HeaderFrameOf;
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

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(BlockQueueTest, BuildersFrameEachPieceAsTheLinkNeeds) {
  ReaderBench bench;
  ReaderChannel& channel = bench.channel();
  FirmwareSection section;
  section.address = 0x2400;
  section.data = Bytes(0x80, 0xAB);
  Bytes headerData = {0x00, 0x24, 0x00, 0x00};
  headerData.insert(headerData.end(), section.data.begin(), section.data.end());

  int count = -1;
  channel.setFrameProtocol(FrameProtocol::Header);
  EXPECT_TRUE(channel.QueueBootloadBlocks({section}, count));
  ASSERT_EQ(channel.QueueLength(), 1u);
  const CommandRecord& record = channel.Queue()[0];
  EXPECT_EQ(Bytes(record.frame, record.frame + record.frameLength), HeaderFrameOf(0xC7, 0x43, headerData));
  EXPECT_EQ(record.frame[12], 0x00);
  EXPECT_EQ(record.frame[13], 0x84);
  EXPECT_STREQ(record.name, "BOOTLOAD_SEND_BLOCK");

  Bytes stxData = {0x42};
  stxData.insert(stxData.end(), headerData.begin(), headerData.end());
  EXPECT_TRUE(channel.QueueBootloadBlocksStx({section}, count));
  EXPECT_EQ(Bytes(channel.Queue()[0].frame, channel.Queue()[0].frame + channel.Queue()[0].frameLength),
            test::StxAnswerFrame(stxData));

  // Kernel and UniApp chunks: module tag, then zeros or the chunk number.
  FirmwareSection chunk;
  chunk.data = Bytes(1024, 0x11);
  EXPECT_TRUE(channel.QueueUniAppBlocks(0x10, {chunk, chunk, chunk}, count));
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(channel.Queue()[2].name, "UniAPP_SEND_BLOCK");
  EXPECT_EQ(Bytes(channel.Queue()[2].frame + 10, channel.Queue()[2].frame + 18),
            (Bytes{0xC7, 0x46, 0x04, 0x04, 0x10, 0x00, 0x00, 0x02}));
  EXPECT_TRUE(channel.QueueKernelBlocks(0x03, {chunk}, count));
  EXPECT_EQ(Bytes(channel.Queue()[0].frame + 10, channel.Queue()[0].frame + 18),
            (Bytes{0xC7, 0x14, 0x04, 0x04, 0x03, 0x00, 0x00, 0x00}));

  // In STX framing kernel and UniApp pieces have no form: counted, not queued,
  // and the run has nothing to send.
  channel.setFrameProtocol(FrameProtocol::Stx);
  EXPECT_TRUE(channel.QueueKernelBlocks(0x03, {chunk, chunk}, count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(channel.QueueLength(), 0u);
}

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

  // Exactly 1040 bytes still fit every framing.
  sections[3].data.resize(kMaxPieceLength);
  EXPECT_TRUE(channel.QueueBootloadBlocksStx(sections, count));
  EXPECT_EQ(channel.QueueLength(), 6u);

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

TEST(BlockQueueTest, FullQueueDeliversTheImage) {
  // 2 preamble sections, 2045 data blocks and the trailer: 2048 commands.
  ReaderBench bench(BootloaderReader());
  ASSERT_TRUE(bench.Connect(Link::Tcp));
  const std::vector<FirmwareSection> sections = ModuleSections(2045, 16);
  int count = 0;
  ASSERT_TRUE(bench.channel().QueueBootloadBlocks(sections, count));
  ASSERT_EQ(bench.channel().QueueLength(), kMaxQueueLength);
  Progress progress;
  ASSERT_TRUE(bench.channel().RunCommandQueue(progress.callback()));
  EXPECT_EQ(progress.positions.size(), kMaxQueueLength);
  EXPECT_EQ(progress.total, 2048);

  std::map<uint32_t, Bytes> image = bench.reader().BlockImage();
  ASSERT_EQ(image.size(), sections.size());
  for (const FirmwareSection& section : sections) EXPECT_EQ(image[section.address], section.data);
  EXPECT_TRUE(EndsWith(bench.channel().SessionText(), kSucceeded));
}

// A reader whose stop package is 5 holds data blocks 0 to 4 of an
// interrupted module load. Only a module's queue resumes there, and by data
// block, with or without a preamble; kernel and UniApp chunks all go out.
TEST(BlockQueueTest, ResumeSkipsTheBlocksTheReaderHas) {
  enum class Queue { Module, ModuleWithoutPreamble, Kernel, UniApp };
  struct Case {
    Queue queue;
    int reserve;
    std::vector<int> positions;  // progress positions, i.e. the records sent
  };
  const std::vector<int> all10 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const Case cases[] = {
      {Queue::Module, 1, {1, 2, 8, 9, 10, 11}},
      {Queue::Module, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {Queue::ModuleWithoutPreamble, 1, {6, 7, 8, 9}},
      {Queue::ModuleWithoutPreamble, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {Queue::Kernel, 1, all10},
      {Queue::UniApp, 1, all10},
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
    const bool raw = c.queue == Queue::Kernel || c.queue == Queue::UniApp;

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
      if (c.queue == Queue::Kernel) {
        ASSERT_TRUE(channel.BeginKernelLoad(status, 3, file.fileLength, 0, 0));
        channel.QueueKernelBlocks(3, pieces, count);
      } else {
        ASSERT_TRUE(channel.BeginUniAppLoad(status, 0x10, file.fileLength));
        channel.QueueUniAppBlocks(0x10, pieces, count);
      }
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

TEST(BlockQueueTest, HeaderRefusalIsRepeatedOnceThenEndsTheRun) {
  for (bool always : {false, true}) {
    sim::ReaderOptions options = BootloaderReader();
    options.blockFaults.push_back({.block = 4, .kind = sim::FaultKind::Refuse, .code = 0x01, .always = always});
    ReaderBench bench(options);
    ASSERT_TRUE(bench.Connect(Link::Tcp));
    int count = 0;
    bench.channel().QueueBootloadBlocks(ModuleSections(4), count);
    Progress progress;
    EXPECT_EQ(bench.channel().RunCommandQueue(progress.callback()), !always);
    if (always) {
      EXPECT_EQ(progress.positions, (std::vector<int>{1, 2, 3, 4, 4}));
      EXPECT_TRUE(EndsWith(bench.channel().SessionText(), "\r\nError Code:0x01. Incorrect Header Tag\r\n"));
    } else {
      EXPECT_EQ(progress.positions, (std::vector<int>{1, 2, 3, 4, 4, 5, 6, 7}));
      EXPECT_TRUE(EndsWith(bench.channel().SessionText(), kSucceeded));
    }
  }
}

TEST(BlockQueueTest, StxEndings) {
  struct Case {
    sim::FaultKind fault;
    std::string tail;
  };
  // Without a fault every block is accepted (answer 06 06 06).
  ReaderBench clean(BootloaderReader(FrameProtocol::Stx));
  ASSERT_TRUE(clean.Connect(Link::Serial));
  int queued = 0;
  clean.channel().QueueBootloadBlocks(ModuleSections(4), queued);
  EXPECT_TRUE(clean.channel().RunCommandQueue({}));
  EXPECT_TRUE(EndsWith(clean.channel().SessionText(), kSucceeded));
  EXPECT_EQ(clean.reader().BlockImage().size(), 7u);

  const Case cases[] = {
      {sim::FaultKind::Refuse,
       "\r\nError Code:0x6A00. Unsupported Command - Protocol and task ID are right, but command is invalid\r\n"
       "Command No.3 Response Error. Bootload Failed! \r\n"},
      {sim::FaultKind::Garble, "\r\nCommand No.3 Response Error. Bootload Failed! \r\n"},
  };
  for (const Case& c : cases) {
    sim::ReaderOptions options = BootloaderReader(FrameProtocol::Stx);
    options.blockFaults.push_back({.block = 3, .kind = c.fault, .code = 0x6A00, .always = true});
    ReaderBench bench(options);
    ASSERT_TRUE(bench.Connect(Link::Serial));
    int count = 0;
    bench.channel().QueueBootloadBlocks(ModuleSections(4), count);
    Progress progress;
    EXPECT_FALSE(bench.channel().RunCommandQueue(progress.callback()));
    EXPECT_EQ(progress.positions, (std::vector<int>{1, 2, 3}));
    const std::string session = bench.channel().SessionText();
    EXPECT_TRUE(EndsWith(session, c.tail)) << session;
    // The accounts of the three exchanges come first, oldest first.
    EXPECT_EQ(session.find("\r\n======================\r\nBOOTLOAD_SEND_BLOCK:\r\n02 "), 0u);
  }
}

TEST(BlockQueueTest, EmptyQueueSucceedsWithItsLineOnly) {
  ReaderBench bench;
  int count = -1;
  EXPECT_TRUE(bench.channel().QueueBootloadBlocks({}, count));
  EXPECT_EQ(count, 0);
  Progress progress;
  EXPECT_TRUE(bench.channel().RunCommandQueue(progress.callback()));
  EXPECT_TRUE(bench.channel().RunCommandQueueStx(progress.callback()));
  EXPECT_TRUE(progress.positions.empty());
  EXPECT_EQ(bench.channel().SessionText(), std::string(kSucceeded) + kSucceeded);
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
  EXPECT_TRUE(EndsWith(bench.channel().SessionText(), std::string("NO RESP.\r\n") + kSucceeded));

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
