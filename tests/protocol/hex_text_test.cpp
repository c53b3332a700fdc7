#include "protocol/hex_text.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(HexText, FormatSpaced) {
  const uint8_t four[] = {0x02, 0x01, 0x00, 0x06};
  EXPECT_EQ(FormatHexSpaced(four), "02 01 00 06");
  const uint8_t one[] = {0xAB};
  EXPECT_EQ(FormatHexSpaced(one), "AB");
  EXPECT_EQ(FormatHexSpaced({}), "");
  std::string out = "keep";
  AppendHexSpaced(out, {});
  EXPECT_EQ(out, "keep");
  AppendHexSpaced(out, one);
  EXPECT_EQ(out, "keepAB");
}

TEST(HexText, Parse) {
  struct Case {
    const char* text;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"0acd", {0x0A, 0xCD}}, {"0ACD", {0x0A, 0xCD}}, {"0ACDE", {0x0A, 0xCD}},
      {"0G", {0x00}},         {"12 34", {0x12, 0x03}}, {"", {}},
      {"F", {}},              {"0x1F", {0x00, 0x1F}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseHexText(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace orvane
