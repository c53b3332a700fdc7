#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <tuple>
#include <vector>

#include "protocol/frames.h"
#include "protocol/status_messages.h"

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Stx(Bytes data) {
  data.resize(data.size() + kStxOverhead);
  data.resize(BuildStxFrame(data, data.size() - kStxOverhead));
  return data;
}

Bytes HeaderResponse(uint8_t status, const Bytes& data, bool dropFirstLetter = false) {
  Bytes frame(data.size() + 16);
  frame.resize(BuildHeaderFrameFor(frame, 0x29, status, data));
  if (dropFirstLetter) frame.erase(frame.begin());
  return frame;
}

Bytes Joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The standard check value: nine bytes go through one eight-byte step and the
// byte-wise tail. (The simulated reader checks with the same function, so
// whole runs cannot catch a wrong CRC.)
TEST(Crc16, CheckValue) { EXPECT_EQ(Crc16Ccitt(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x29B1); }

// The bytes each builder puts down, and nothing for a buffer too small.
TEST(Frames, BuildersPutDownTheWireBytes) {
  Bytes query{0x29, 0, 0, 0};
  query.resize(16);
  ASSERT_EQ(BuildHeaderFrame(query, 4), 16u);
  EXPECT_EQ(query, (Bytes{'K', 'e', 'L', 'O', 'm', 'a', 'r', 'n', '2', 0, 0x29, 0, 0, 0, 0x56, 0xD9}));
  EXPECT_EQ(BuildHeaderFrame(std::span(query).first(15), 4), 0u);
  Bytes big(256 + 16);
  ASSERT_EQ(BuildHeaderFrameFor(big, 0xC7, 0x43, Bytes(256, 0xAA)), 272u);
  EXPECT_EQ(Bytes(big.begin() + 10, big.begin() + 15), (Bytes{0xC7, 0x43, 0x01, 0x00, 0xAA}));
  EXPECT_EQ(BuildHeaderFrameFor(std::span(big).first(271), 0xC7, 0x43, Bytes(256)), 0u);
  EXPECT_EQ(BuildHeaderFrameFor(big, 0xC7, 0x43, Bytes(0x10000)), 0u);

  EXPECT_EQ(Stx({0x78, 0x46, 0x01}), (Bytes{0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03}));
  EXPECT_EQ(Stx({}), (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x03}));
  // 256 data bytes: the length is stored low byte first.
  EXPECT_EQ(Stx(Bytes(256))[2], 0x01);
  EXPECT_EQ(BuildStxFrame(std::span(big).first(9), 4), 0u);
  EXPECT_EQ(BuildStxFrame(big, 0x10000), 0u);

  Bytes block(1031, 0x5A);
  bool ok = false;
  ASSERT_EQ(BuildStxCommandFrame(kBootloadBlockId, block, 1024, ok), 1031u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Bytes(block.begin() + 1, block.begin() + 5), (Bytes{0x01, 0x04, 0x42, 0x5A}));
  const XorSum check = XorAndSum(block.data() + 3, 1025);
  EXPECT_EQ(Bytes(block.end() - 3, block.end()), (Bytes{check.xorValue, check.sum, 0x03}));
  // Only the bootload block has a prefix.
  EXPECT_EQ(BuildStxCommandFrame(kKernelBlockId, block, 1024, ok), 0u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(BuildStxCommandFrame(kBootloadBlockId, block, 1025, ok), 0u);  // no room for the prefix

  Bytes keyboard(5);
  ASSERT_EQ(BuildKeyboardCommandFrame(0x22, keyboard), 5u);
  EXPECT_EQ(keyboard, (Bytes{0x02, 0x52, 0x22, 0x03, 0x71}));
  EXPECT_EQ(BuildKeyboardCommandFrame(0x22, std::span(keyboard).first(4)), 0u);
}

// Both forms (with and without the first letter), cut anywhere, into buffers
// of any size: the data is what arrived, up to what the buffer holds; too
// little for a header, or no header, is status FF.
TEST(ParseHeaderResponse, EveryTruncationOfEitherFormIntoAnyBuffer) {
  Bytes data(1200);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  const Bytes full = HeaderResponse(0x05, data);
  for (size_t shift : {0u, 1u}) {
    for (size_t length = 0; shift + length <= full.size(); ++length) {
      // Exactly sized copies so that a sanitizer sees any overrun.
      const auto cut = std::span(full).subspan(shift, length);
      const Bytes received(cut.begin(), cut.end());
      Bytes out(length % 1100);
      uint8_t status = 0;
      const size_t n = ParseHeaderResponse(received, out, &status);
      const size_t start = 14 - shift;
      ASSERT_EQ(n, length < start ? 0 : std::min(length - start, out.size())) << length;
      ASSERT_EQ(status, length < start ? 0xFF : 0x05) << length;
      ASSERT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(n), data.begin())) << length;
    }
  }
  EXPECT_EQ(ParseHeaderResponse(full, data, nullptr), data.size());
}

// Two answers read as one: only the first frame's length counts.
TEST(LeadingFrameLength, FindsTheEndOfTheFirstWholeFrame) {
  const Bytes stx = Stx({kAck, kAck, kAck});
  const Bytes header = HeaderResponse(0x00, {1, 2, 3});
  const Bytes shortHeader = HeaderResponse(0x00, {1, 2, 3}, true);
  const std::tuple<const char*, Bytes, FrameProtocol, size_t> cases[] = {
      {"stx alone", stx, FrameProtocol::Stx, stx.size()},
      {"stx twice", Joined(stx, stx), FrameProtocol::Stx, stx.size()},
      {"stx cut short", Bytes(stx.begin(), stx.end() - 1), FrameProtocol::Stx, 0},
      {"header twice", Joined(header, header), FrameProtocol::Header, header.size()},
      {"short header then full", Joined(shortHeader, header), FrameProtocol::Header, shortHeader.size()},
      {"header cut short", Bytes(header.begin(), header.end() - 1), FrameProtocol::Header, 0},
      {"header read as stx", header, FrameProtocol::Stx, 0},
      {"stx read as header", stx, FrameProtocol::Header, 0},
  };
  for (const auto& [name, bytes, protocol, expected] : cases) {
    EXPECT_EQ(LeadingFrameLength(bytes, protocol), expected) << name;
  }
  EXPECT_EQ(HeaderFrameCommand(shortHeader), 0x29);
}

TEST(ValidateStxResponse, Verdicts) {
  // Name, answer, verdict, status code (-1: not written).
  const std::tuple<const char*, Bytes, StxVerdict, int> cases[] = {
      {"ack only", {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, StxVerdict::AckOnly, 0x0606},
      {"length field too large", {0x02, 0x02, 0x00, 0x06, 0x06, 0x06, 0x03}, StxVerdict::NotStx, -1},
      {"six bytes", {0x02, 0x00, 0x00, 0x00, 0x00, 0x03}, StxVerdict::NotStx, -1},
      {"starts with ETX", {0x03, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, StxVerdict::Malformed, -1},
      {"ends without ETX", {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x02}, StxVerdict::Malformed, -1},
      {"nak", {0x02, 0x03, 0x00, 0x15, 0x6A, 0x00, 0x7F, 0x7F, 0x03}, StxVerdict::Nak, 0x6A00},
      {"neither ack nor nak", {0x02, 0x03, 0x00, 0x07, 0x6A, 0x00, 0x7F, 0x7F, 0x03}, StxVerdict::Malformed, 0x6A00},
      {"ack with data", Stx({0x06, 'v', '1'}), StxVerdict::Ack, ('v' << 8) | '1'},
      {"negative length field", {0x02, 0xFF, 0xFF, 0x06, 0x06, 0x06, 0x03}, StxVerdict::NotStx, -1},
  };
  for (const auto& [name, response, verdict, code] : cases) {
    uint16_t status = 0xBEEF;
    EXPECT_EQ(ValidateStxResponse(response, &status), verdict) << name;
    EXPECT_EQ(status, code < 0 ? 0xBEEF : code) << name;
    EXPECT_EQ(ValidateStxResponse(response, nullptr), verdict) << name;
  }
}

// Each framing has its own table; codes between and after the rows read as
// unknown.
TEST(StatusMessages, LookupsInBothTables) {
  const std::tuple<uint16_t, FrameProtocol, const char*> cases[] = {
      {0x6A00, FrameProtocol::Stx, "Unsupported Command - Protocol and task ID are right, but command is invalid"},
      {0x6A00, FrameProtocol::Header, "Error,Unknow Error."},
      {0x550D, FrameProtocol::Stx, "Error,Unknow Error."},
      {0x0004, FrameProtocol::Header, "CRC Error in Frame"},
      {0x0005, FrameProtocol::Header, "Incorrect Parameter"},
      {0xFFFF, FrameProtocol::Header, "Error,Unknow Error."},
  };
  for (const auto& [code, protocol, text] : cases) EXPECT_EQ(StatusMessage(code, protocol), text) << std::hex << code;
}

}  // namespace
}  // namespace orvane
