#include "firmware/module_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

// The header bytes the writer puts down are the ones the parser reads; the
// parser's tests rely on that, so check the layout against hand-made bytes.
TEST(ModuleWriterTest, HeaderBytesStandWhereTheyBelong) {
  ModuleSpec spec;
  spec.securityType = "nonpci";
  spec.moduleType = kModuleTypeBootloader;
  spec.encryption = kEncryptionAes;
  spec.baseAddress = 0x12345678;
  spec.infoText = "AB";
  spec.secondValue = "C";
  spec.blockSize = 0x0102;
  spec.blockCount = 3;
  spec.trailer = {9, 8, 7};
  spec.reservedFill = {0xAA, 0xBB, 0xCC};
  const std::vector<uint8_t> image = BuildModuleImage(spec);

  const std::vector<uint8_t> header(image.begin(), image.begin() + 24);
  const std::vector<uint8_t> expected = {'n',  'o',  'n',  'p',  'c',  'i',  0x42, 0x41, 0xAA, 0xBB, 14, 0,
                                         3,    0,    0x02, 0x01, 3,    0,    0x12, 0x34, 0x56, 0x78, 0xCC, 0};
  EXPECT_EQ(header, expected);
  // part 1 is just the two tagged values: H = 7, S = 14
  const std::vector<uint8_t> part1(image.begin() + 64, image.begin() + 71);
  EXPECT_EQ(part1, (std::vector<uint8_t>{1, 2, 'A', 'B', 2, 1, 'C'}));
  EXPECT_EQ(image.size(), 64u + 14 + 3 * 0x102 + 3);
  EXPECT_EQ(LayoutOf(spec).totalLength, image.size());
  EXPECT_EQ(std::vector<uint8_t>(image.end() - 3, image.end()), (std::vector<uint8_t>{9, 8, 7}));
}

}  // namespace
}  // namespace orvane
