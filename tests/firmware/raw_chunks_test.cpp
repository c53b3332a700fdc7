#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

class LoadRawChunksTest : public testing::Test {
 protected:
  // Writes a raw file of `length` bytes, loads it and checks that the chunks
  // put back together give the file.
  void LoadAndCheckWhole(size_t length) {
    const std::vector<uint8_t> bytes = BuildRawModule(length, 5);
    const std::string path = dir_.File("k" + std::to_string(length) + ".fm");
    ASSERT_TRUE(WriteBytesToFile(path, bytes));
    ASSERT_TRUE(file_.LoadRawChunks(path));
    EXPECT_EQ(file_.fileLength, length);
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < file_.chunks.size(); ++i) {
      const FirmwareSection& chunk = file_.chunks[i];
      EXPECT_EQ(chunk.index, i);
      EXPECT_EQ(chunk.address, (i * 1024) & 0xFFFFFF);
      joined.insert(joined.end(), chunk.data.begin(), chunk.data.end());
    }
    EXPECT_EQ(joined, bytes);
  }

  TempDir dir_;
  FirmwareFile file_;
};

TEST_F(LoadRawChunksTest, CutsIntoPiecesOf1024WithTheRemainderLast) {
  struct Case {
    size_t length;
    std::vector<uint32_t> lengths;
  };
  const Case cases[] = {
      {0, {}},
      {1, {1}},
      {1024, {1024}},
      {2048, {1024, 1024}},
      {2049, {1024, 1024, 1}},
      {3000, {1024, 1024, 952}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    LoadAndCheckWhole(c.length);
    std::vector<uint32_t> lengths;
    for (const FirmwareSection& chunk : file_.chunks) lengths.push_back(chunk.length());
    EXPECT_EQ(lengths, c.lengths);
  }
  EXPECT_EQ(file_.chunks.back().address, 2048u);
}

// 16 MiB + 2 chunks, far more than one queue can send: never read, only its
// layout is kept (the queue refuses it by its count). The chunk at 16 MiB is
// addressed 0 again.
TEST_F(LoadRawChunksTest, FileTooLargeToSendKeepsOnlyItsLayout) {
  const std::string path = dir_.File("k_huge.fm");
  ASSERT_TRUE(WriteBytesToFile(path, {}));
  ASSERT_EQ(::truncate(path.c_str(), (16 << 20) + 1500), 0);
  ASSERT_TRUE(file_.LoadRawChunks(path));
  ASSERT_EQ(file_.chunks.size(), 16386u);
  EXPECT_TRUE(std::none_of(file_.chunks.begin(), file_.chunks.end(), [](const auto& c) { return c.loaded(); }));
  EXPECT_EQ(file_.chunks[16383].address, 0xFFFC00u);
  EXPECT_EQ(file_.chunks[16384].address, 0u);
  EXPECT_EQ(file_.chunks[16385].address, 1024u);
  EXPECT_EQ(file_.chunks[16385].length(), 476u);
  EXPECT_EQ(file_.fileLength, (16u << 20) + 1500);
  // The largest file that can be sent is read whole.
  LoadAndCheckWhole(2048 * 1024);
}

// Nothing of the file loaded before survives: not a failed load, not the
// other kind of load.
TEST_F(LoadRawChunksTest, EachLoadStartsFromEmptyLists) {
  const std::string raw = dir_.File("app_k.fm");
  ASSERT_TRUE(WriteRawModuleFile(raw, 5000));
  for (const std::string& bad : {dir_.File("app_missing.fm"), dir_.path()}) {
    ASSERT_TRUE(file_.LoadRawChunks(raw));
    ASSERT_EQ(file_.chunks.size(), 5u);
    EXPECT_FALSE(file_.LoadRawChunks(bad)) << bad;
    EXPECT_TRUE(file_.chunks.empty());
    EXPECT_EQ(file_.fileLength, 0u);
  }
  const std::string module = dir_.File("m.fm");
  ModuleSpec spec;
  ASSERT_TRUE(WriteModuleFile(module, spec));
  ASSERT_EQ(file_.ParseModuleFile(module), ParseResult::Ok);
  ASSERT_TRUE(file_.LoadRawChunks(raw));
  EXPECT_TRUE(file_.sections.empty());
  ASSERT_EQ(file_.ParseModuleFile(module), ParseResult::Ok);
  EXPECT_TRUE(file_.chunks.empty());
  EXPECT_EQ(file_.sections.size(), spec.blockCount + 3u);
  file_.ClearSections();
  EXPECT_TRUE(file_.sections.empty());
}

}  // namespace
}  // namespace orvane
