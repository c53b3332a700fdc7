#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Stx(Bytes data) {
  data.resize(data.size() + kStxOverhead);
  size_t n = BuildStxFrame(data, data.size() - kStxOverhead);
  data.resize(n);
  return data;
}

// The CRC taken eight bytes at a time must match the plain bit-by-bit
// definition for every length and every byte position.
TEST(Crc16, MatchesTheBitwiseDefinitionAtEveryLength) {
  const auto bitwise = [](const uint8_t* bytes, size_t count) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
      crc ^= static_cast<uint16_t>(bytes[i] << 8);
      for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
  };
  Bytes data(1100);
  uint32_t seed = 12345;
  for (uint8_t& b : data) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t offset = 0; offset < 8; ++offset) {
      ASSERT_EQ(Crc16Ccitt(data.data() + offset, length), bitwise(data.data() + offset, length))
          << "length " << length << " offset " << offset;
    }
  }
  EXPECT_EQ(Crc16Ccitt(data.data(), 1044), bitwise(data.data(), 1044));
  EXPECT_EQ(Crc16Ccitt(data.data(), data.size()), bitwise(data.data(), data.size()));
  EXPECT_EQ(Crc16Ccitt(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x29B1);
}

TEST(HeaderFrame, LayoutLengthBigEndianAndBufferBounded) {
  std::array<uint8_t, 16> query{0x29, 0x00, 0x00, 0x00};
  ASSERT_EQ(BuildHeaderFrame(query, 4), 16u);
  EXPECT_EQ(std::memcmp(query.data(), "KeLOmarn2\0\x29\0\0\0", 14), 0);
  uint16_t crc = Crc16Ccitt(query.data(), 14);
  EXPECT_EQ(Bytes(query.begin() + 14, query.end()), (Bytes{static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)}));

  Bytes data(256, 0xAA);
  Bytes buffer(256 + 16);
  ASSERT_EQ(BuildHeaderFrameFor(buffer, 0xC7, 0x43, data), 272u);
  EXPECT_EQ(Bytes(buffer.begin() + 12, buffer.begin() + 15), (Bytes{0x01, 0x00, 0xAA}));
  Bytes small(271), tiny(15);
  EXPECT_EQ(BuildHeaderFrameFor(small, 0xC7, 0x43, data), 0u);
  EXPECT_EQ(BuildHeaderFrame(tiny, 4), 0u);
}

TEST(StxFrame, Examples) {
  EXPECT_EQ(Stx({0x01, 0x02, 0x03}), (Bytes{0x02, 0x03, 0x00, 0x01, 0x02, 0x03, 0x00, 0x06, 0x03}));
  EXPECT_EQ(Stx({0x78, 0x46, 0x01}), (Bytes{0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03}));
  EXPECT_EQ(Stx({}), (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x03}));
  // 256 data bytes: the length 00 01 is stored low byte first.
  Bytes big = Stx(Bytes(256, 0));
  EXPECT_EQ(big[1], 0x00);
  EXPECT_EQ(big[2], 0x01);
}

TEST(StxFrame, CommandPrefix) {
  Bytes buffer(1031, 0x5A);
  bool ok = false;
  ASSERT_EQ(BuildStxCommandFrame(kBootloadBlockId, buffer, 1024, ok), 1031u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Bytes(buffer.begin() + 1, buffer.begin() + 5), (Bytes{0x01, 0x04, 0x42, 0x5A}));
  auto check = XorAndSum(buffer.data() + 3, 1025);
  EXPECT_EQ(Bytes(buffer.begin() + 1028, buffer.end()), (Bytes{check.xorValue, check.sum, 0x03}));

  for (uint32_t id : {kKernelBlockId, kUniAppBlockId, 0u}) {
    Bytes other(1100, 0);
    ok = true;
    EXPECT_EQ(BuildStxCommandFrame(id, other, 1024, ok), 0u);
    EXPECT_FALSE(ok);
  }
}

TEST(KeyboardFrame, VersionQuery) {
  std::array<uint8_t, 5> buffer{};
  ASSERT_EQ(BuildKeyboardCommandFrame(0x22, buffer), 5u);
  EXPECT_EQ(buffer, (std::array<uint8_t, 5>{0x02, 0x52, 0x22, 0x03, 0x71}));
}

Bytes HeaderResponse(uint8_t status, Bytes data, bool dropFirstLetter = false) {
  Bytes frame(data.size() + 16);
  size_t n = BuildHeaderFrameFor(frame, 0x29, status, data);
  frame.resize(n);
  if (dropFirstLetter) frame.erase(frame.begin());
  return frame;
}

TEST(ParseHeaderResponse, AnythingElseIsStatusFF) {
  std::array<uint8_t, 64> out{};
  uint8_t status = 0;
  Bytes junk = {'X', 'e', 'L', 'O', 'm', 'a', 'r', 'n', '2', 0, 0, 0, 0, 1, 9};
  EXPECT_EQ(ParseHeaderResponse(junk, out, &status), 0u);
  EXPECT_EQ(status, 0xFF);
  // The header word without its zero byte is not a header either.
  Bytes noZero = HeaderResponse(0, {1});
  noZero[9] = 0x20;
  status = 0;
  EXPECT_EQ(ParseHeaderResponse(noZero, out, &status), 0u);
  EXPECT_EQ(status, 0xFF);
  EXPECT_EQ(ParseHeaderResponse(junk, out, nullptr), 0u);
}

// Both forms (with and without the first letter), cut anywhere, into buffers
// of any size: the data is what arrived, up to what the buffer holds.
TEST(ParseHeaderResponse, EveryTruncationOfEveryBufferIsSafe) {
  Bytes data(2000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  Bytes full = HeaderResponse(0x05, data);
  for (bool shortForm : {false, true}) {
    Bytes source = shortForm ? Bytes(full.begin() + 1, full.end()) : full;
    for (size_t length = 0; length <= 2048 && length <= source.size(); ++length) {
      // Exactly sized copies so that a sanitizer sees any overrun.
      std::vector<uint8_t> received(source.begin(), source.begin() + static_cast<long>(length));
      std::vector<uint8_t> out(length % 1100);
      uint8_t status = 0;
      size_t n = ParseHeaderResponse(received, out, &status);
      size_t dataStart = shortForm ? 13 : 14;
      size_t expected = length < dataStart ? 0 : std::min(length - dataStart, out.size());
      ASSERT_EQ(n, expected) << length;
      ASSERT_EQ(status, length < dataStart ? 0xFF : 0x05) << length;
      ASSERT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(n), data.begin())) << length;
    }
  }
}

Bytes Joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Two answers read as one: only the first frame's length counts.
TEST(LeadingFrameLength, FindsTheEndOfTheFirstWholeFrame) {
  const Bytes stx = Stx({kAck, kAck, kAck});
  const Bytes header = HeaderResponse(0x00, {1, 2, 3});
  const Bytes shortHeader = HeaderResponse(0x00, {1, 2, 3}, true);
  struct Case {
    const char* name;
    Bytes bytes;
    FrameProtocol protocol;
    size_t expected;
  };
  const Case cases[] = {
      {"stx alone", stx, FrameProtocol::Stx, stx.size()},
      {"stx twice", Joined(stx, stx), FrameProtocol::Stx, stx.size()},
      {"stx cut short", Bytes(stx.begin(), stx.end() - 1), FrameProtocol::Stx, 0},
      {"stx length only", Bytes(stx.begin(), stx.begin() + 3), FrameProtocol::Stx, 0},
      {"not stx", Bytes{0x55, 0x01, 0x00, 0x06, 0, 0, 0x03}, FrameProtocol::Stx, 0},
      {"header twice", Joined(header, header), FrameProtocol::Header, header.size()},
      {"short header then full", Joined(shortHeader, header), FrameProtocol::Header, shortHeader.size()},
      {"header cut short", Bytes(header.begin(), header.end() - 1), FrameProtocol::Header, 0},
      {"header read as stx", header, FrameProtocol::Stx, 0},
      {"stx read as header", stx, FrameProtocol::Header, 0},
      {"nothing", Bytes{}, FrameProtocol::Header, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LeadingFrameLength(c.bytes, c.protocol), c.expected) << c.name;
}

TEST(ValidateStxResponse, Verdicts) {
  struct Case {
    const char* name;
    Bytes response;
    StxVerdict verdict;
    int status;  // -1: not written
  };
  const Case cases[] = {
      {"ack only", {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, StxVerdict::AckOnly, 0x0606},
      {"length field too large", {0x02, 0x02, 0x00, 0x06, 0x06, 0x06, 0x03}, StxVerdict::NotStx, -1},
      {"six bytes", {0x02, 0x00, 0x00, 0x00, 0x00, 0x03}, StxVerdict::NotStx, -1},
      {"empty", {}, StxVerdict::NotStx, -1},
      {"starts with ETX", {0x03, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, StxVerdict::Malformed, -1},
      {"ends without ETX", {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x02}, StxVerdict::Malformed, -1},
      {"nak", {0x02, 0x03, 0x00, 0x15, 0x6A, 0x00, 0x7F, 0x7F, 0x03}, StxVerdict::Nak, 0x6A00},
      {"neither ack nor nak", {0x02, 0x03, 0x00, 0x07, 0x6A, 0x00, 0x7F, 0x7F, 0x03}, StxVerdict::Malformed, 0x6A00},
      {"ack with data", Stx({0x06, 'v', '1'}), StxVerdict::Ack, ('v' << 8) | '1'},
      {"negative length field", {0x02, 0xFF, 0xFF, 0x06, 0x06, 0x06, 0x03}, StxVerdict::NotStx, -1},
  };
  for (const auto& c : cases) {
    uint16_t status = 0xBEEF;
    EXPECT_EQ(ValidateStxResponse(c.response, &status), c.verdict) << c.name;
    EXPECT_EQ(status, c.status < 0 ? 0xBEEF : c.status) << c.name;
  }
}

TEST(ValidateStxResponse, EveryLengthIsSafe) {
  Bytes frame = Stx(Bytes(2042, 0x06));
  for (size_t length = 0; length <= frame.size(); ++length) {
    std::vector<uint8_t> received(frame.begin(), frame.begin() + static_cast<long>(length));
    StxVerdict v = ValidateStxResponse(received, nullptr);
    ASSERT_EQ(v, length == frame.size() ? StxVerdict::Ack : StxVerdict::NotStx) << length;
  }
}

}  // namespace
}  // namespace orvane
