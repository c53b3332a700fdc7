// The simulated reader must refuse what a real reader refuses: the whole
// updates can only catch a tool that sends a wrong frame if the reader says no.

#include "reader-sim/simulated_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/frames.h"

namespace orvane::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes HeaderFrame(uint8_t command, uint8_t sub, const Bytes& data = {}) {
  Bytes frame(data.size() + 16);
  frame.resize(BuildHeaderFrameFor(frame, command, sub, data));
  return frame;
}

Bytes StxFrame(const Bytes& data) {
  Bytes frame(data);
  frame.resize(data.size() + kStxOverhead);
  frame.resize(BuildStxFrame(frame, data.size()));
  return frame;
}

// 78 46, the access code, eight zeros, wrapped in a header frame.
Bytes Entry(const std::string& code) {
  Bytes payload(15, 0);
  payload[0] = 0x78;
  payload[1] = 0x46;
  std::copy(code.begin(), code.end(), payload.begin() + 2);
  payload.resize(27);
  payload.resize(BuildHeaderFrame(payload, 15));
  return payload;
}

Bytes Block(uint32_t address, Bytes data) {
  data.insert(data.begin(), {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)});
  return HeaderFrame(0xC7, 0x43, data);
}

Bytes Flipped(Bytes frame, size_t fromEnd) {
  frame[frame.size() - fromEnd] ^= 0x10;
  return frame;
}

const Bytes kIdentifyHeader = HeaderFrame(0x29, 0x00);
const Bytes kIdentifyStx = StxFrame({0x78, 0x46, 0x01});
const Bytes kNak6B00 = {0x02, 0x03, 0x00, 0x15, 0x6B, 0x00, 0x7E, 0x80, 0x03};
const Bytes kNak6C00 = {0x02, 0x03, 0x00, 0x15, 0x6C, 0x00, 0x79, 0x81, 0x03};
const Bytes kPreamble0 = Block(0, {1, 2});
const Bytes kPreamble1 = Block(1, {3, 4});

struct RefusalCase {
  const char* name;
  FrameProtocol framing;
  ReaderMode mode;
  std::vector<Bytes> before;  // accepted first
  Bytes request;
  Bytes answer;
};

class ReaderRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ReaderRefusal, AnswersWithTheRefusalAndStaysWhereItWas) {
  const RefusalCase& c = GetParam();
  ReaderOptions options;
  options.mode = c.mode;
  options.framing = c.framing;
  options.finishBusyMs = 0;
  SimulatedReader reader(options);
  for (const Bytes& request : c.before) ASSERT_EQ(reader.HandleRequest(request).answer, HeaderFrame(0xC7, 0x00));
  ReaderReply reply = reader.HandleRequest(c.request);
  EXPECT_EQ(reply.answer, c.answer);
  EXPECT_EQ(reply.after, ReaderReply::After::Nothing);
  EXPECT_EQ(reader.Mode(), c.mode);
}

constexpr auto kHeader = FrameProtocol::Header;
constexpr auto kStx = FrameProtocol::Stx;
constexpr auto kApp = ReaderMode::Application;
constexpr auto kBoot = ReaderMode::Bootloader;
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(
    Requests, ReaderRefusal,
    ::testing::Values(
        RefusalCase{"HeaderCrc", kHeader, kApp, {}, Flipped(kIdentifyHeader, 1), HeaderFrame(0x29, 0x04)},
        RefusalCase{"StxSum", kStx, kApp, {}, Flipped(kIdentifyStx, 2), kNak6C00},
        RefusalCase{"UnknownSubCommand", kHeader, kApp, {}, HeaderFrame(0xC7, 0x99), HeaderFrame(0xC7, 0x03)},
        RefusalCase{"WrappedEntryWrongCode", kStx, kApp, {}, Entry("XXXXX"), kNak6B00},
        RefusalCase{"WrappedEntryWrongCodeToHeaderReader", kHeader, kApp, {}, Entry("ORVBZ"),
                    HeaderFrame(0xC7, 0x05)},
        RefusalCase{"BlockInTheApplication", kHeader, kApp, {}, Block(0, {1, 2}), HeaderFrame(0xC7, 0x0B)},
        RefusalCase{"TrailerFirst", kHeader, kBoot, {}, Block(0xFFFFFFFF, {1}), HeaderFrame(0xC7, 0x05)},
        RefusalCase{"BlockSkipped", kHeader, kBoot, {kPreamble0, kPreamble1, Block(0x2000, Bytes(16, 7))},
                    Block(0x2020, Bytes(16, 8)), HeaderFrame(0xC7, 0x05)},
        RefusalCase{"ChunkOfAnotherModule", kHeader, kBoot, {HeaderFrame(0xC7, 0x45, {16, 0x10, 0, 0, 0})},
                    HeaderFrame(0xC7, 0x46, {17, 0, 0, 0, 9}), HeaderFrame(0xC7, 0x05)},
        RefusalCase{"ChunkNumberSkipped", kHeader, kBoot,
                    {HeaderFrame(0xC7, 0x45, {16, 0x10, 0, 0, 0}), HeaderFrame(0xC7, 0x46, {16, 0, 0, 0, 9})},
                    HeaderFrame(0xC7, 0x46, {16, 0, 0, 2, 9}), HeaderFrame(0xC7, 0x05)},
        RefusalCase{"ShortModuleFinished", kHeader, kBoot,
                    {HeaderFrame(0xC7, 0x45, {16, 0x10, 0, 0, 0}), HeaderFrame(0xC7, 0x46, {16, 0, 0, 0, 9})},
                    HeaderFrame(0xC7, 0x47, {16}), HeaderFrame(0xC7, 0x0A)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane::sim
