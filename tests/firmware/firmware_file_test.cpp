#include "firmware/firmware_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t length) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                              bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

class ParseModuleFileTest : public testing::Test {
 protected:
  // Writes the module and parses it with the shared object.
  ParseResult Parse(const ModuleSpec& spec, const std::string& name = "m.fm") {
    image_ = BuildModuleImage(spec);
    std::string path = dir_.File(name);
    EXPECT_TRUE(WriteBytesToFile(path, image_));
    return file_.ParseModuleFile(path);
  }

  TempDir dir_;
  FirmwareFile file_;
  std::vector<uint8_t> image_;
};

// The first module of the examples (S = 8, T = 2, B = 16, N = 2), with an odd
// preamble length (its last byte is lost) and with none (both halves are left
// out, the indexes stay). Nothing of the module parsed before survives.
TEST_F(ParseModuleFileTest, SectionsStandWhereTheLayoutPutsThem) {
  struct Expected {
    uint32_t index, offset, length, address;
  };
  struct Case {
    uint16_t preambleLength;
    std::vector<Expected> sections;
  };
  const Case cases[] = {
      {8, {{0, 64, 4, 0}, {1, 68, 4, 1}, {2, 72, 16, 0x10000}, {3, 88, 16, 0x10010}, {4, 104, 2, kTrailerAddress}}},
      {5, {{0, 64, 2, 0}, {1, 66, 2, 1}, {2, 68, 16, 0x10000}, {3, 84, 16, 0x10010}, {4, 100, 2, kTrailerAddress}}},
      {0, {{2, 64, 16, 0x10000}, {3, 80, 16, 0x10010}, {4, 96, 2, kTrailerAddress}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preambleLength);
    ModuleSpec earlier;
    earlier.infoText = "earlier module";
    ASSERT_EQ(Parse(earlier, "earlier.fm"), ParseResult::Ok);
    ModuleSpec spec;
    spec.securityType = "nonpci";
    spec.preambleLength = c.preambleLength;  // part 1 = 00 00 00 00: two empty values
    spec.blockSize = 16;
    spec.blockCount = 2;
    spec.trailer = {0xEE, 0xDD};
    spec.baseAddress = 0x00010000;
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(image_.size(), c.sections.back().offset + 2u);
    EXPECT_EQ(file_.infoText, "");
    EXPECT_EQ(file_.preambleHalf1, c.preambleLength / 2u);
    ASSERT_EQ(file_.sections.size(), c.sections.size());
    for (size_t i = 0; i < c.sections.size(); ++i) {
      const FirmwareSection& section = file_.sections[i];
      const Expected& e = c.sections[i];
      EXPECT_EQ(section.index, e.index) << i;
      EXPECT_EQ(section.address, e.address) << i;
      EXPECT_EQ(section.data, Slice(image_, e.offset, e.length)) << i;
    }
    // The same header with all of an odd preamble present does not add up.
    spec.lengthAdjust = c.preambleLength % 2;
    EXPECT_EQ(Parse(spec), c.preambleLength % 2 ? ParseResult::SizeError : ParseResult::Ok);
  }
}

TEST_F(ParseModuleFileTest, BlockAddressesCarryThroughAllFourBytes) {
  struct Case {
    uint32_t base;
    uint16_t blockSize;
    uint32_t block1;
  };
  for (const Case& c : {Case{0x00FFFF00, 0x100, 0x01000000}, Case{0x0000FFF0, 0x10, 0x00010000},
                        Case{0xFFFFFF00, 0x100, 0x00000000}}) {
    SCOPED_TRACE(c.base);
    ModuleSpec spec;
    spec.baseAddress = c.base;
    spec.blockSize = c.blockSize;
    spec.blockCount = 3;
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(file_.baseAddressValue(), c.base);
    EXPECT_EQ(file_.sections[2].address, c.base);
    EXPECT_EQ(file_.sections[3].address, c.block1);
    EXPECT_EQ(file_.sections[4].address, c.block1 + c.blockSize);
  }
}

TEST_F(ParseModuleFileTest, SecurityTypeIsComparedWithoutRegardToCase) {
  struct Case {
    std::string type;  // six bytes
    ParseResult result;
    bool pci;
  };
  const Case cases[] = {
      {"pci   ", ParseResult::Ok, true},
      {"PCI   ", ParseResult::Ok, true},
      {"nonpci", ParseResult::Ok, false},
      {"NonPCI", ParseResult::Ok, false},
      {"pci\t  ", ParseResult::TypeError, false},
      {std::string("pci\0\0\0", 6), ParseResult::TypeError, false},
      {"pcixxx", ParseResult::TypeError, false},
      {"non-pc", ParseResult::TypeError, false},
      {std::string(6, '\0'), ParseResult::TypeError, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    ModuleSpec spec;
    spec.securityType = c.type;
    EXPECT_EQ(Parse(spec), c.result);
    EXPECT_EQ(file_.typeValid, c.result == ParseResult::Ok);
    if (c.result == ParseResult::Ok) {
      EXPECT_EQ(file_.pciFlag, c.pci);
    }
    EXPECT_EQ(file_.sections.empty(), c.result != ParseResult::Ok);
  }
}

// Files that cannot be opened, are too short, or whose sizes do not add up are
// refused, and nothing of the module parsed before them survives.
TEST_F(ParseModuleFileTest, RefusedFilesLeaveNothingOfAnEarlierOne) {
  ModuleSpec good;
  good.infoText = "First module";
  const std::string goodPath = dir_.File("good.fm");
  ASSERT_TRUE(WriteModuleFile(goodPath, good));
  ASSERT_EQ(::mkdir(dir_.File("folder.fm").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(dir_.File("pipe.fm").c_str(), 0600), 0);  // must not wait for a writer
  const auto check = [&](const std::string& what, const auto& parse, ParseResult result) {
    SCOPED_TRACE(what);
    ASSERT_EQ(file_.ParseModuleFile(goodPath), ParseResult::Ok);
    ASSERT_FALSE(file_.sections.empty());
    ASSERT_EQ(file_.infoText, "First module");
    EXPECT_EQ(parse(), result);
    EXPECT_TRUE(file_.sections.empty());
    EXPECT_TRUE(file_.chunks.empty());
    EXPECT_EQ(file_.infoText, "");
  };
  for (const char* name : {"missing.fm", "folder.fm", "pipe.fm"}) {
    check(name, [&] { return file_.ParseModuleFile(dir_.File(name)); }, ParseResult::OpenFailed);
  }

  struct Case {
    const char* what;
    ModuleSpec spec;
    ParseResult result;
  };
  auto with = [](auto change) {
    ModuleSpec spec;
    spec.infoText = "V1";
    change(spec);
    return spec;
  };
  const Case cases[] = {
      {"empty file", with([](ModuleSpec& s) { s.truncateTo = 0; }), ParseResult::HeaderTooShort},
      {"40 bytes", with([](ModuleSpec& s) { s.truncateTo = 40; }), ParseResult::HeaderTooShort},
      {"63 bytes", with([](ModuleSpec& s) { s.truncateTo = 63; }), ParseResult::HeaderTooShort},
      {"header only", with([](ModuleSpec& s) { s.truncateTo = 64; }), ParseResult::SizeError},
      {"one byte short", with([](ModuleSpec& s) { s.lengthAdjust = -1; }), ParseResult::SizeError},
      {"one byte long", with([](ModuleSpec& s) { s.lengthAdjust = 1; }), ParseResult::SizeError},
      // N = 0 with a length that adds up (64 + 2H + T) is still refused.
      {"no blocks", with([](ModuleSpec& s) { s.blockCount = 0; }), ParseResult::SizeError},
      {"block size 0", with([](ModuleSpec& s) { s.blockSize = 0; }), ParseResult::SizeError},
      {"no trailer", with([](ModuleSpec& s) { s.trailer.clear(); }), ParseResult::SizeError},
      // A header that claims about 4 GiB must not be believed or allocated.
      {"huge claim",
       with([](ModuleSpec& s) {
         s.blockSizeField = 0xFFFF;
         s.blockCountField = 0xFFFF;
         s.trailerLengthField = 0xFFFF;
         s.preambleLengthField = 0xFFFF;
       }),
       ParseResult::SizeError},
      {"unknown type", with([](ModuleSpec& s) { s.securityType = "public"; }), ParseResult::TypeError},
      {"type checked before sizes", with([](ModuleSpec& s) {
         s.securityType = "secure";
         s.blockCount = 0;
       }),
       ParseResult::TypeError},
  };
  for (const Case& c : cases) check(c.what, [&] { return Parse(c.spec); }, c.result);
}

TEST_F(ParseModuleFileTest, InfoTextIsTheFirstTaggedValueCutToWhatFits) {
  struct Case {
    const char* what;
    std::string info;
    std::optional<uint16_t> preambleLength;
    std::string expected;
  };
  const std::string sixty(60, 'x');
  const Case cases[] = {
      {"plain", "App V2.10 build 7", std::nullopt, "App V2.10 build 7"},
      {"exactly 49", std::string(49, 'a'), std::nullopt, std::string(49, 'a')},
      {"longer than the field", sixty, std::nullopt, std::string(49, 'x')},
      // H = 6: tag, length and only four of the value's bytes fit in part 1.
      {"runs past part 1", "ABCDEFGH", 12, "ABCD"},
      {"stops at a NUL", std::string("AB\0CD", 5), std::nullopt, "AB"},
      {"part 1 of one byte", "ABC", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ModuleSpec spec;
    spec.infoText = c.info;
    spec.secondValue = "second value is not kept";
    spec.preambleLength = c.preambleLength;
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(file_.infoText, c.expected);
    // Part 1 is sent whole, whatever its values say.
    ASSERT_FALSE(file_.sections.empty());
    EXPECT_EQ(file_.sections[0].data, Slice(image_, 64, file_.preambleHalf1));
  }
}

TEST_F(ParseModuleFileTest, BodyLargerThanTheReadBufferArrivesIntact) {
  ModuleSpec spec;
  spec.infoText = "big";
  spec.blockSize = 1000;  // not a divisor of the buffer: blocks straddle refills
  spec.blockCount = 700;
  spec.trailer.assign(1040, 0x77);
  ASSERT_EQ(Parse(spec), ParseResult::Ok);
  ModuleLayout layout = LayoutOf(spec);
  ASSERT_EQ(file_.sections.size(), 703u);
  for (uint32_t i = 0; i < spec.blockCount; ++i) {
    const FirmwareSection& block = file_.sections[2 + i];
    ASSERT_EQ(block.data, Slice(image_, layout.blocksOffset + uint64_t{i} * 1000, 1000)) << "block " << i;
  }
  EXPECT_EQ(file_.sections.back().data, Slice(image_, layout.trailerOffset, 1040));
}

// A module with a piece over 1040 bytes or more than 2048 pieces can never be
// sent: its body is not read (a 4 GB file would otherwise be held whole), but
// its sections keep their places and lengths for the queue to refuse, and it
// is listed with its info text like any other.
TEST_F(ParseModuleFileTest, ModuleThatCanNeverBeSentIsNotRead) {
  struct Case {
    const char* what;
    uint16_t preambleLength, blockSize, blockCount, trailerLength;
    bool sendable;
  };
  const Case cases[] = {
      {"largest sendable", 2080, 1040, 2045, 1040, true},
      {"block over 1040", 16, 1041, 2, 2, false},
      {"preamble half over 1040", 2082, 16, 2, 2, false},
      {"trailer over 1040", 16, 16, 2, 1041, false},
      {"2049 pieces", 16, 16, 2046, 2, false},
      {"2049 pieces without a preamble", 0, 16, 2048, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ModuleSpec spec;
    spec.infoText = "V9.9";
    spec.preambleLength = c.preambleLength;
    spec.blockSize = c.blockSize;
    spec.blockCount = c.blockCount;
    spec.trailer.assign(c.trailerLength, 0x5A);
    ASSERT_EQ(Parse(spec), ParseResult::Ok);
    EXPECT_EQ(file_.Fit().sendable(), c.sendable);
    EXPECT_EQ(file_.infoText, c.preambleLength > 0 ? "V9.9" : "");

    const uint32_t pieces = c.blockCount + 1u + (c.preambleLength > 0 ? 2u : 0u);
    ASSERT_EQ(file_.sections.size(), pieces);
    EXPECT_EQ(file_.Fit().pieces, pieces);
    const FirmwareSection& block1 = file_.sections[pieces - 2];
    EXPECT_EQ(block1.index, c.blockCount + 1u);
    EXPECT_EQ(block1.address, spec.baseAddress + c.blockSize * (c.blockCount - 1u));
    EXPECT_EQ(block1.length(), c.blockSize);
    EXPECT_EQ(file_.sections.back().length(), c.trailerLength);
    uint64_t held = 0;
    for (const FirmwareSection& section : file_.sections) held += section.data.size();
    EXPECT_EQ(held, c.sendable ? image_.size() - kModuleHeaderLength : 0u);

    FirmwareFile lister;
    EXPECT_EQ(lister.JudgeModuleFile(dir_.File("m.fm")), ParseResult::Ok);
    EXPECT_TRUE(lister.sections.empty());
    EXPECT_EQ(lister.infoText, file_.infoText);
  }
}

TEST(FileStatusTextTest, NamesEachFailure) {
  EXPECT_EQ(FileStatusText(ParseResult::HeaderTooShort), "File Status:\t Error: no 64 bytes.");
  EXPECT_EQ(FileStatusText(ParseResult::TypeError), "File Status:\t Error: the type error.");
  EXPECT_EQ(FileStatusText(ParseResult::SizeError), "File Status:\t Error: block data not size error.");
  EXPECT_EQ(FileStatusText(ParseResult::OpenFailed), "File Status:\t Error: the file cannot be opened.");
  EXPECT_EQ(FileStatusText(ParseResult::Ok), "");
}

}  // namespace
}  // namespace orvane
