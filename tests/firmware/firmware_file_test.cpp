#include "firmware/firmware_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

class FirmwareFileTest : public testing::Test {
 protected:
  // Writes the module and parses it with the shared object.
  ParseResult Parse(const ModuleSpec& spec) {
    image_ = BuildModuleImage(spec);
    EXPECT_TRUE(WriteBytesToFile(path_, image_));
    return file_.ParseModuleFile(path_);
  }

  test::TempDir dir_;
  const std::string path_ = dir_.File("m.fm");
  FirmwareFile file_;
  Bytes image_;
};

// A module of S = 8 (then odd, then none: both halves left out, the indexes
// stay), T = 2, B = 16, N = 2: the header bytes the writer puts down (the
// other tests rely on them), and where the parser finds each piece. Block
// addresses carry through all four bytes; nothing of the module parsed before
// survives.
TEST_F(FirmwareFileTest, SectionsStandWhereTheLayoutPutsThem) {
  struct Expected {
    uint32_t index, offset, length, address;
  };
  const std::pair<uint16_t, std::vector<Expected>> cases[] = {
      {8, {{0, 64, 4, 0}, {1, 68, 4, 1}, {2, 72, 16, 0xFFFFF0}, {3, 88, 16, 0x1000000}, {4, 104, 2, kTrailerAddress}}},
      {5, {{0, 64, 2, 0}, {1, 66, 2, 1}, {2, 68, 16, 0xFFFFF0}, {3, 84, 16, 0x1000000}, {4, 100, 2, kTrailerAddress}}},
      {0, {{2, 64, 16, 0xFFFFF0}, {3, 80, 16, 0x1000000}, {4, 96, 2, kTrailerAddress}}},
  };
  for (const auto& [preambleLength, sections] : cases) {
    SCOPED_TRACE(preambleLength);
    ModuleSpec earlier;
    earlier.infoText = "earlier module";
    ASSERT_EQ(Parse(earlier), ParseResult::Ok);
    ModuleSpec spec;
    spec.securityType = "NonPCI";
    spec.preambleLength = preambleLength;  // part 1 = 01 00 02 00: two empty values
    spec.blockSize = 16;
    spec.blockCount = 2;
    spec.trailer = {0xEE, 0xDD};
    spec.baseAddress = 0x00FFFFF0;
    spec.reservedFill = {0xAA, 0xBB, 0xCC};
    spec.blockData = {0x11, 0x22, 0x33};  // the rest of the blocks zeros
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(
        Slice(image_, 0, 24),
        (Bytes{'N', 'o', 'n', 'P', 'C',  'I',  0x41, 0x50, 0xAA, 0xBB, static_cast<uint8_t>(preambleLength), 0, 2, 0,
               16,  0,   2,   0,   0x00, 0xFF, 0xFF, 0xF0, 0xCC, 0}));
    EXPECT_EQ(image_.size(), sections.back().offset + 2u);
    EXPECT_EQ(file_.infoText, "");
    EXPECT_FALSE(file_.pciFlag);
    ASSERT_EQ(file_.sections.size(), sections.size());
    for (size_t i = 0; i < sections.size(); ++i) {
      const Expected& e = sections[i];
      EXPECT_EQ(file_.sections[i].index, e.index) << i;
      EXPECT_EQ(file_.sections[i].address, e.address) << i;
      EXPECT_EQ(file_.sections[i].data, Slice(image_, e.offset, e.length)) << i;
    }
    // The same header with all of an odd preamble present does not add up.
    spec.lengthAdjust = preambleLength % 2;
    EXPECT_EQ(Parse(spec), preambleLength % 2 ? ParseResult::SizeError : ParseResult::Ok);
  }
}

// Files that cannot be opened, are too short, or whose sizes or type do not
// add up are refused, and nothing of the module parsed before them survives.
TEST_F(FirmwareFileTest, RefusedFilesLeaveNothingOfAnEarlierOne) {
  ModuleSpec good;
  good.infoText = "First module";
  const std::string goodPath = dir_.File("good.fm");
  ASSERT_TRUE(WriteModuleFile(goodPath, good));
  ASSERT_EQ(::mkdir(dir_.File("folder.fm").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(dir_.File("pipe.fm").c_str(), 0600), 0);  // must not wait for a writer
  const auto check = [&](const std::string& what, const auto& parse, ParseResult result) {
    SCOPED_TRACE(what);
    ASSERT_EQ(file_.ParseModuleFile(goodPath), ParseResult::Ok);
    EXPECT_EQ(parse(), result);
    EXPECT_TRUE(file_.sections.empty());
    EXPECT_EQ(file_.infoText, "");
  };
  for (const char* name : {"missing.fm", "folder.fm", "pipe.fm"}) {
    check(
        name, [&] { return file_.ParseModuleFile(dir_.File(name)); }, ParseResult::OpenFailed);
  }
  using Change = void (*)(ModuleSpec&);
  const std::pair<Change, ParseResult> cases[] = {
      {[](ModuleSpec& s) { s.truncateTo = 63; }, ParseResult::HeaderTooShort},
      {[](ModuleSpec& s) { s.truncateTo = 64; }, ParseResult::SizeError},
      {[](ModuleSpec& s) { s.lengthAdjust = -1; }, ParseResult::SizeError},
      {[](ModuleSpec& s) { s.lengthAdjust = 1; }, ParseResult::SizeError},
      // N = 0 (B = 0, T = 0) with a length that adds up is still refused.
      {[](ModuleSpec& s) { s.blockCount = 0; }, ParseResult::SizeError},
      {[](ModuleSpec& s) { s.blockSize = 0; }, ParseResult::SizeError},
      {[](ModuleSpec& s) { s.trailer.clear(); }, ParseResult::SizeError},
      // A header that claims about 4 GiB must not be believed or allocated.
      {[](ModuleSpec& s) { s.blockSizeField = s.blockCountField = s.trailerLengthField = 0xFFFF; },
       ParseResult::SizeError},
      {[](ModuleSpec& s) { s.securityType = "pci\t  "; }, ParseResult::TypeError},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ModuleSpec spec;
    spec.infoText = "V1";
    cases[i].first(spec);
    check(
        "case " + std::to_string(i), [&] { return Parse(spec); }, cases[i].second);
  }
  // What the window's run text says of each.
  EXPECT_EQ(FileStatusText(ParseResult::HeaderTooShort), "File Status:\t Error: no 64 bytes.");
  EXPECT_EQ(FileStatusText(ParseResult::TypeError), "File Status:\t Error: the type error.");
  EXPECT_EQ(FileStatusText(ParseResult::SizeError), "File Status:\t Error: block data not size error.");
  EXPECT_EQ(FileStatusText(ParseResult::OpenFailed), "File Status:\t Error: the file cannot be opened.");
}

TEST_F(FirmwareFileTest, InfoTextIsTheFirstTaggedValueCutToWhatFits) {
  // The value, the preamble length S, the text.
  const std::tuple<std::string, std::optional<uint16_t>, std::string> cases[] = {
      {std::string(60, 'x'), std::nullopt, std::string(49, 'x')},
      // H = 6: tag, length and only four of the value's bytes fit in part 1.
      {"ABCDEFGH", 12, "ABCD"},
      {std::string("AB\0CD", 5), std::nullopt, "AB"},
      {"ABC", 2, ""},  // part 1 of one byte
  };
  for (const auto& [info, preambleLength, expected] : cases) {
    SCOPED_TRACE(expected);
    ModuleSpec spec;
    spec.infoText = info;
    spec.secondValue = "second value is not kept";
    spec.preambleLength = preambleLength;
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(file_.infoText, expected);
    // Part 1 is sent whole, whatever its values say.
    EXPECT_EQ(file_.sections.at(0).data, Slice(image_, 64, file_.preambleHalf1));
  }
}

// A module with a piece over 1040 bytes or more than 2048 pieces can never be
// sent: its body is not read (a 4 GB file would otherwise be held whole), but
// its sections keep their places and lengths for the queue to refuse, and it
// is listed with its info text like any other (seen through the command
// line's list). The largest that can be sent is read whole, across many
// refills of the read buffer.
TEST_F(FirmwareFileTest, ModuleThatCanNeverBeSentIsNotRead) {
  // S, B, N, T, and whether it can be sent.
  const std::tuple<uint16_t, uint16_t, uint16_t, uint16_t, bool> cases[] = {
      {2080, 1040, 2045, 1040, true}, {16, 1041, 2, 2, false},  {2082, 16, 2, 2, false},
      {16, 16, 2, 1041, false},       {16, 16, 2046, 2, false}, {0, 16, 2048, 2, false},
  };
  for (const auto& [preambleLength, blockSize, blockCount, trailerLength, sendable] : cases) {
    SCOPED_TRACE(testing::Message() << preambleLength << " " << blockSize << " " << blockCount);
    ModuleSpec spec;
    spec.infoText = "V9.9";
    spec.preambleLength = preambleLength;
    spec.blockSize = blockSize;
    spec.blockCount = blockCount;
    spec.trailer.assign(trailerLength, 0x5A);
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(file_.Fit().sendable(), sendable);
    EXPECT_EQ(file_.infoText, preambleLength > 0 ? "V9.9" : "");

    const uint32_t pieces = blockCount + 1u + (preambleLength > 0 ? 2u : 0u);
    ASSERT_EQ(file_.sections.size(), pieces);
    const FirmwareSection& lastBlock = file_.sections[pieces - 2];
    EXPECT_EQ(lastBlock.index, blockCount + 1u);
    EXPECT_EQ(lastBlock.address, spec.baseAddress + blockSize * (blockCount - 1u));
    EXPECT_EQ(lastBlock.length(), blockSize);
    EXPECT_EQ(file_.sections.back().length(), trailerLength);
    Bytes held;
    for (const FirmwareSection& section : file_.sections)
      held.insert(held.end(), section.data.begin(), section.data.end());
    EXPECT_EQ(held, sendable ? Slice(image_, 64, image_.size() - 64) : Bytes());
  }
}

// Kernel and UniApp files go in pieces of 1024 with the remainder last, up
// to the largest that can be sent; put back together they give the file.
TEST_F(FirmwareFileTest, RawFilesAreCutIntoChunksOf1024) {
  const std::pair<size_t, std::vector<uint32_t>> cases[] = {
      {0, {}}, {1, {1}}, {1024, {1024}}, {2049, {1024, 1024, 1}}, {2048 * 1024, std::vector<uint32_t>(2048, 1024)},
  };
  for (const auto& [length, lengths] : cases) {
    SCOPED_TRACE(length);
    const Bytes bytes = BuildRawModule(length, 5);
    ASSERT_TRUE(WriteBytesToFile(path_, bytes));
    ASSERT_TRUE(file_.LoadRawChunks(path_));
    EXPECT_EQ(file_.fileLength, length);
    Bytes joined;
    std::vector<uint32_t> got;
    for (size_t i = 0; i < file_.chunks.size(); ++i) {
      EXPECT_EQ(file_.chunks[i].index, i);
      EXPECT_EQ(file_.chunks[i].address, i * 1024);
      joined.insert(joined.end(), file_.chunks[i].data.begin(), file_.chunks[i].data.end());
      got.push_back(file_.chunks[i].length());
    }
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(got, lengths);
  }
  // Nothing of the file loaded before survives: not the other kind of load,
  // not a failed one.
  ASSERT_EQ(Parse(ModuleSpec()), ParseResult::Ok);
  EXPECT_TRUE(file_.chunks.empty());
  ASSERT_TRUE(file_.LoadRawChunks(path_));
  EXPECT_TRUE(file_.sections.empty());
  EXPECT_FALSE(file_.LoadRawChunks(dir_.File("missing.fm")));
  EXPECT_TRUE(file_.chunks.empty());
  EXPECT_EQ(file_.fileLength, 0u);
}

// 16 MiB + 2 chunks, far more than one queue can send: never read, only its
// layout is kept (the queue refuses it by its count). The chunk at 16 MiB is
// addressed 0 again.
TEST_F(FirmwareFileTest, RawFileTooLargeToSendKeepsOnlyItsLayout) {
  ASSERT_TRUE(WriteBytesToFile(path_, {}));
  ASSERT_EQ(::truncate(path_.c_str(), (16 << 20) + 1500), 0);
  ASSERT_TRUE(file_.LoadRawChunks(path_));
  ASSERT_EQ(file_.chunks.size(), 16386u);
  EXPECT_EQ(file_.chunks[16384].address, 0u);
  EXPECT_EQ(file_.chunks[16385].length(), 476u);
  EXPECT_EQ(file_.fileLength, (16u << 20) + 1500);
}

}  // namespace
}  // namespace orvane
