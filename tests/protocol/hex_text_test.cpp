#include "protocol/hex_text.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

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
