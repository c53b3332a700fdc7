// The rules by which reader answers are judged, fed with hand-made answers.

#include "bootload/answer_judging.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "bootload/test_frames.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrameOf;
using test::StxAnswerFrame;

// Data of a bootloader's version answer: text, type character at 14, a zero
// byte to end the text, the stop package at 24..27 (low byte first).
Bytes BootloaderData(char type, std::vector<uint8_t> stop = {0x05, 0x01, 0x00, 0x00}) {
  Bytes data(28, 0);
  const std::string text = "Bootloader FW";
  std::copy(text.begin(), text.end(), data.begin());
  data[13] = ' ';
  data[14] = static_cast<uint8_t>(type);
  data[15] = 0;
  for (size_t i = 0; i < stop.size(); ++i) data[24 + i] = stop[i];
  return data;
}

Bytes StxVersionAnswer(const Bytes& data) {
  Bytes withAck = {kAck};
  withAck.insert(withAck.end(), data.begin(), data.end());
  return StxAnswerFrame(withAck);
}

// The type character decides the PCI verdict and whether the stop package
// counts; another character keeps the earlier verdict.
TEST(VersionAnswerTest, TypeCharacterDecidesPciTypeAndStopPackage) {
  const struct {
    char type;
    bool pciBefore;
    bool pci;
  } cases[] = {{'0', true, false}, {'1', false, true}, {'2', false, true}, {'3', true, false}, {'4', false, true},
               {'5', true, false}, {'6', false, true}, {'7', true, false}, {'X', true, true},  {'X', false, false}};
  for (const auto& c : cases) {
    DeviceInfo info;
    info.pciType = c.pciBefore;
    JudgeVersionAnswer(info, StxVersionAnswer(BootloaderData(c.type)), FrameProtocol::Stx);
    EXPECT_TRUE(info.bootloaderMode);
    EXPECT_EQ(info.pciType, c.pci) << c.type;
    EXPECT_EQ(info.stopPackage, c.pci ? 0 : 261) << c.type;
  }
}

// Answers without a version text: an STX one leaves everything alone, a
// header one still says the reader is out of its bootloader.
TEST(VersionAnswerTest, AnswersWithoutText) {
  Bytes withoutFirstLetter = HeaderFrameOf(0x29, 0x00, {'V', '1'});
  withoutFirstLetter.erase(withoutFirstLetter.begin());
  const struct {
    FrameProtocol framing;
    Bytes answer;
    std::string text;
  } cases[] = {
      {FrameProtocol::Stx, {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, ""},  // exactly 7 bytes
      {FrameProtocol::Stx, StxAnswerFrame({kNak, 0x6A, 0x00}), ""},
      {FrameProtocol::Stx, {0x03, 0x04, 0x00, 0x06, 'A', 'B', 'C', 0x00, 0x00, 0x03}, ""},  // wrong start byte
      {FrameProtocol::Stx, {}, ""},
      {FrameProtocol::Header, HeaderFrameOf(0x29, 0x00, {}), ""},
      {FrameProtocol::Header, {'x', 'y', 'z'}, ""},
      {FrameProtocol::Header, {}, ""},
      {FrameProtocol::Header, withoutFirstLetter, "V1"},
  };
  for (const auto& c : cases) {
    DeviceInfo info;
    info.bootloaderMode = true;
    info.versionText = "before";
    EXPECT_EQ(JudgeVersionAnswer(info, c.answer, c.framing), c.text);
    EXPECT_EQ(info.bootloaderMode, c.framing == FrameProtocol::Stx);
    EXPECT_EQ(info.versionText, c.text.empty() ? "before" : c.text);
  }
}

TEST(VersionAnswerTest, BootloaderFieldsNeedALongEnoughAnswer) {
  // 28 raw bytes: the marker is there but the fields are not read.
  Bytes data = BootloaderData('3');
  data.resize(21);
  DeviceInfo info;
  info.stopPackage = 4;
  Bytes answer = StxVersionAnswer(data);
  ASSERT_EQ(answer.size(), 28u);
  EXPECT_EQ(JudgeVersionAnswer(info, answer, FrameProtocol::Stx), "Bootloader FW 3");
  EXPECT_FALSE(info.bootloaderMode);
  EXPECT_EQ(info.stopPackage, 4);

  // 29 raw bytes: read; the stop package bytes the answer lacks count as zero.
  data.resize(22);
  answer = StxVersionAnswer(data);
  EXPECT_EQ(JudgeVersionAnswer(info, answer, FrameProtocol::Stx), "Bootloader FW 3");
  EXPECT_TRUE(info.bootloaderMode);
  EXPECT_FALSE(info.pciType);
  EXPECT_EQ(info.stopPackage, 0);
}

TEST(VersionAnswerTest, StopPackageKeepsItsSignAndTextIsBounded) {
  DeviceInfo info;
  JudgeVersionAnswer(info, StxVersionAnswer(BootloaderData('0', {0xFF, 0xFF, 0xFF, 0xFF})), FrameProtocol::Stx);
  EXPECT_EQ(info.stopPackage, -1);
  JudgeVersionAnswer(info, StxVersionAnswer(BootloaderData('0', {0xFF, 0xFF, 0xFF, 0x7F})), FrameProtocol::Stx);
  EXPECT_EQ(info.stopPackage, INT32_MAX);

  Bytes longText(900, 'A');
  std::string text = JudgeVersionAnswer(info, HeaderFrameOf(0x29, 0x00, longText), FrameProtocol::Header);
  EXPECT_EQ(text.size(), kVersionTextCapacity);
  EXPECT_EQ(info.versionText.size(), kVersionTextCapacity);
}

TEST(KeyboardAnswerTest, TextLiesBetweenTheLeadBytesAndTheEtx) {
  auto frame = [](const std::string& text, uint8_t lrc) {
    Bytes bytes(text.size() + 4);
    bytes[0] = 0x02;
    bytes[1] = 'R';
    std::copy(text.begin(), text.end(), bytes.begin() + 2);
    bytes[text.size() + 2] = 0x03;
    bytes.pop_back();
    bytes.push_back(lrc);
    return bytes;
  };
  EXPECT_EQ(KeyboardAnswerText(true, frame("Orvane TAVIRON2", 0x41)), "Orvane TAVIRON2");
  // Zero fill after the answer (whole feature reports) changes nothing.
  Bytes padded = frame("KB 1.0", 0x12);
  padded.resize(126, 0);
  EXPECT_EQ(KeyboardAnswerText(true, padded), "KB 1.0");
  // A zero LRC: the second non-zero byte from the end is the last letter.
  EXPECT_EQ(KeyboardAnswerText(true, frame("KB", 0x00)), "KB");
  EXPECT_EQ(KeyboardAnswerText(false, frame("KB", 0x11)), "");
  EXPECT_EQ(KeyboardAnswerText(true, Bytes{0x02, 'R', 0x03, 0x51}), "");
  EXPECT_EQ(KeyboardAnswerText(true, Bytes{0x02, 0x03, 0x00, 0x00, 0x00}), "");  // no room for text
  EXPECT_EQ(KeyboardAnswerText(true, Bytes(64, 0)), "");
}

TEST(PassThroughModelTest, ModelNumberCountsOnlyAfterTheFirstCharacter) {
  EXPECT_TRUE(NamesPassThroughModel("Q4710 APP"));
  EXPECT_TRUE(NamesPassThroughModel("47104710"));
  EXPECT_FALSE(NamesPassThroughModel("4710 APP"));
  EXPECT_FALSE(NamesPassThroughModel("Orvane 471"));
  EXPECT_FALSE(NamesPassThroughModel(""));
}

TEST(StxAnswerTest, EntryAndBlockRules) {
  const Bytes ackOnly = StxAnswerFrame({kAck});
  const Bytes ackAck = StxAnswerFrame({kAck, kAck, kAck});
  const Bytes ackZero = StxAnswerFrame({kAck, kAck, 0x00});
  const Bytes nak = StxAnswerFrame({kNak, 0x00, 0x05});
  const Bytes other = StxAnswerFrame({0x07, 0x00, 0x00});

  EXPECT_EQ(JudgeStxEntryAnswer(true, ackOnly), StxAnswer::Accepted);
  EXPECT_EQ(JudgeStxEntryAnswer(false, ackOnly), StxAnswer::NoAnswer);
  EXPECT_EQ(JudgeStxEntryAnswer(true, nak), StxAnswer::Nak);
  EXPECT_EQ(JudgeStxEntryAnswer(false, nak), StxAnswer::Nak);  // the exchange calls a NAK a failure
  EXPECT_EQ(JudgeStxEntryAnswer(false, other), StxAnswer::NoAnswer);
  EXPECT_EQ(JudgeStxEntryAnswer(true, other), StxAnswer::Other);
  EXPECT_EQ(JudgeStxEntryAnswer(true, Bytes{0x02, 0x01, 0x00, 0x06, 0x06}), StxAnswer::NoAnswer);

  EXPECT_EQ(JudgeStxBlockAnswer(ackAck), StxAnswer::Accepted);
  EXPECT_EQ(JudgeStxBlockAnswer(ackZero), StxAnswer::Other);
  EXPECT_EQ(JudgeStxBlockAnswer(StxAnswerFrame({kAck, 0x00, kAck})), StxAnswer::Other);
  // A lone ACK's check bytes are 06 06: such an answer passes too.
  EXPECT_EQ(JudgeStxBlockAnswer(ackOnly), StxAnswer::Accepted);
  EXPECT_EQ(JudgeStxBlockAnswer(nak), StxAnswer::Nak);
  EXPECT_EQ(JudgeStxBlockAnswer(Bytes{0x02, 0x01, 0x00, 0x06, 0x06}), StxAnswer::NoAnswer);
}

TEST(ResumeTest, SkipBoundNeverOverflowsNorSkipsTheWholeQueue) {
  struct Case {
    int32_t stop;
    uint32_t lastIndex;  // section index of the queue's last record
    uint64_t end;
  };
  const Case cases[] = {
      {5, 99, 7},
      {0, 99, 2},
      {-5, 99, 2},
      {INT32_MIN, 99, 2},
      {INT32_MAX, 99, 2},
      {97, 99, 99},
      {98, 99, 2},
      {5, 2, 2},
      {1, 3, 3},
      {INT32_MAX - 1, 4999, 2},
      {INT32_MAX, UINT32_MAX, uint64_t{INT32_MAX} + 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResumeSkipEnd(c.stop, c.lastIndex), c.end) << c.stop << " / " << c.lastIndex;
  }
}

}  // namespace
}  // namespace orvane
