#include "reader-sim/simulated_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/frames.h"
#include "sim_test_frames.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

ReaderOptions Opts(ReaderMode mode = ReaderMode::Application, FrameProtocol framing = FrameProtocol::Header) {
  ReaderOptions o;
  o.mode = mode;
  o.framing = framing;
  return o;
}

// Data of a header answer, checked against the header layout.
Bytes HeaderData(const Bytes& answer, uint8_t* status) {
  Bytes data(2048);
  data.resize(ParseHeaderResponse(answer, data, status));
  return data;
}

TEST(ReaderIdentification, ApplicationAnswersItsVersionInBothFramings) {
  ReaderOptions o = Opts();
  o.applicationVersion = "Orvane Taviron2 APP V2.00.020 4710";
  SimulatedReader header(o);
  EXPECT_EQ(header.HandleRequest(IdentifyHeader()).answer, HeaderAnswer(0x29, 0x00, Text(o.applicationVersion)));

  o.framing = FrameProtocol::Stx;
  SimulatedReader stx(o);
  Bytes expected = StxFrame(Cat({0x06}, Text(o.applicationVersion)));
  EXPECT_EQ(stx.HandleRequest(IdentifyStx()).answer, expected);
  EXPECT_EQ(stx.HandleRequest(IdentifyStxDisplay()).answer, expected);
}

TEST(ReaderIdentification, BootloaderAnswerCarriesTypeAndStopPackageAtFixedOffsets) {
  ReaderOptions o = Opts(ReaderMode::Bootloader);
  o.typeChar = '3';
  o.stopPackage = 261;
  SimulatedReader header(o);
  Bytes answer = header.HandleRequest(IdentifyHeader()).answer;
  EXPECT_GT(answer.size(), 21u);
  uint8_t status = 0xEE;
  Bytes data = HeaderData(answer, &status);
  EXPECT_EQ(status, 0x00);
  ASSERT_GE(data.size(), 28u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), "Bootloader FW 3 V1.05");
  EXPECT_EQ(data[14], '3');
  EXPECT_EQ(Bytes(data.begin() + 24, data.begin() + 28), (Bytes{0x05, 0x01, 0x00, 0x00}));

  o.framing = FrameProtocol::Stx;
  SimulatedReader stx(o);
  Bytes stxAnswer = stx.HandleRequest(IdentifyStx()).answer;
  EXPECT_GT(stxAnswer.size(), 28u);
  ASSERT_EQ(ValidateStxResponse(stxAnswer, nullptr), StxVerdict::Ack);
  EXPECT_EQ(Bytes(stxAnswer.begin() + 4, stxAnswer.end() - 3), data);
}

TEST(ReaderIdentification, PciBootloaderReportsNoStopPackageAndLongVersionsAreCut) {
  ReaderOptions o = Opts(ReaderMode::Bootloader);
  o.typeChar = '2';
  o.stopPackage = 9;
  o.bootloaderVersion = "V1.05 with a long tail";
  SimulatedReader reader(o);
  Bytes data = HeaderData(reader.HandleRequest(IdentifyHeader()).answer, nullptr);
  ASSERT_EQ(data.size(), 28u);
  EXPECT_EQ(data[14], '2');
  EXPECT_EQ(data[23], 0x00);  // the text ends before the stop package
  EXPECT_EQ(Bytes(data.begin() + 24, data.end()), (Bytes{0, 0, 0, 0}));
}

TEST(ReaderFraming, ChecksFramesAsAReaderWould) {
  SimulatedReader header(Opts());
  Bytes badCrc = IdentifyHeader();
  badCrc.back() ^= 0x01;
  EXPECT_EQ(header.HandleRequest(badCrc).answer, HeaderAnswer(0x29, 0x04));

  SimulatedReader stx(Opts(ReaderMode::Application, FrameProtocol::Stx));
  Bytes badCheck = IdentifyStx();
  badCheck[badCheck.size() - 2] ^= 0x10;  // the sum byte
  EXPECT_EQ(stx.HandleRequest(badCheck).answer, (Bytes{0x02, 0x03, 0x00, 0x15, 0x6C, 0x00, 0x79, 0x81, 0x03}));

  // Unknown commands.
  EXPECT_EQ(header.HandleRequest(HeaderFrame(0x55, 0x00)).answer, HeaderAnswer(0x55, 0x02));
  EXPECT_EQ(header.HandleRequest(HeaderFrame(0xC7, 0x99)).answer, HeaderAnswer(0xC7, 0x03));
  EXPECT_EQ(stx.HandleRequest(StxFrame({0x11, 0x22})).answer, (Bytes{0x02, 0x03, 0x00, 0x15, 0x6A, 0x00, 0x7F, 0x7F, 0x03}));
}

TEST(ReaderFraming, IgnoresTheOtherFramingButTheEntryHeaderFrame) {
  SimulatedReader header(Opts());
  EXPECT_TRUE(header.HandleRequest(IdentifyStx()).answer.empty());
  EXPECT_TRUE(header.HandleRequest(Bytes{0x00, 0x13, 0x37}).answer.empty());

  SimulatedReader stx(Opts(ReaderMode::Application, FrameProtocol::Stx));
  EXPECT_TRUE(stx.HandleRequest(IdentifyHeader()).answer.empty());
  EXPECT_TRUE(stx.HandleRequest(HeaderFrame(0xC7, 0x41)).answer.empty());
  ReaderReply entry = stx.HandleRequest(EntryHeaderFrame("ORVBL"));
  EXPECT_EQ(entry.answer, (Bytes{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}));
  EXPECT_EQ(entry.after, ReaderReply::After::Reboot);
  EXPECT_EQ(stx.Mode(), ReaderMode::Bootloader);
  // Everything the reader heard is on record, answered or not.
  EXPECT_EQ(stx.ReceivedFrames().size(), 3u);
}

struct EntryCase {
  const char* name;
  FrameProtocol framing;
  Bytes request;
  Bytes answer;
  bool reboots;
};

class BootloaderEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(BootloaderEntry, AnswersAndRebootsOnlyWithTheRightCode) {
  const EntryCase& c = GetParam();
  SimulatedReader reader(Opts(ReaderMode::Application, c.framing));
  ReaderReply reply = reader.HandleRequest(c.request);
  EXPECT_EQ(reply.answer, c.answer);
  EXPECT_EQ(reply.after == ReaderReply::After::Reboot, c.reboots);
  EXPECT_EQ(reader.Mode(), c.reboots ? ReaderMode::Bootloader : ReaderMode::Application);
  EXPECT_EQ(reader.Reboots(), c.reboots ? 1u : 0u);
}

const Bytes kAckOnly = {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03};
const Bytes kNak6B00 = {0x02, 0x03, 0x00, 0x15, 0x6B, 0x00, 0x7E, 0x80, 0x03};

INSTANTIATE_TEST_SUITE_P(
    Forms, BootloaderEntry,
    ::testing::Values(
        EntryCase{"HeaderC741", FrameProtocol::Header, HeaderFrame(0xC7, 0x41), HeaderAnswer(0xC7, 0x00), true},
        EntryCase{"StxForm", FrameProtocol::Stx, StxFrame(EntryPayload("ORVBL")), kAckOnly, true},
        EntryCase{"StxWrongCode", FrameProtocol::Stx, StxFrame(EntryPayload("ORVBX")), kNak6B00, false},
        EntryCase{"HeaderWrappedUnderStx", FrameProtocol::Stx, EntryHeaderFrame("ORVBL"), kAckOnly, true},
        EntryCase{"HeaderWrappedWrongCode", FrameProtocol::Stx, EntryHeaderFrame("XXXXX"), kNak6B00, false},
        EntryCase{"HeaderWrappedToHeaderReader", FrameProtocol::Header, EntryHeaderFrame("ORVBL"),
                  HeaderAnswer(0xC7, 0x00), true},
        EntryCase{"HeaderWrappedWrongCodeToHeaderReader", FrameProtocol::Header, EntryHeaderFrame("ORVBZ"),
                  HeaderAnswer(0xC7, 0x05), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootloaderEntry, PreparationIsNotAnsweredAndABootloaderDoesNotRebootAgain) {
  SimulatedReader stx(Opts(ReaderMode::Application, FrameProtocol::Stx));
  EXPECT_TRUE(stx.HandleRequest(StxFrame({0x25, 0x46, 0xB1, 0x01, 0x00, 0x10})).answer.empty());
  EXPECT_EQ(stx.Mode(), ReaderMode::Application);

  SimulatedReader boot(Opts(ReaderMode::Bootloader));
  ReaderReply reply = boot.HandleRequest(HeaderFrame(0xC7, 0x41));
  EXPECT_EQ(reply.answer, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(reply.after, ReaderReply::After::Nothing);
}

TEST(PassThrough, OnlyTheModelWithPassThroughSwitchesAndThenHearsStx) {
  SimulatedReader plain(Opts());
  EXPECT_EQ(plain.HandleRequest(HeaderFrame(0x63, 0x02, {0x01})).answer, HeaderAnswer(0x63, 0x02));
  EXPECT_FALSE(plain.PassThrough());

  ReaderOptions o = Opts();
  o.applicationVersion = "Orvane Q450 4710 APP V1.00";
  SimulatedReader reader(o);
  EXPECT_TRUE(reader.HandleRequest(IdentifyStx()).answer.empty());
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0x63, 0x02, {0x01})).answer, HeaderAnswer(0x63, 0x00));
  EXPECT_TRUE(reader.PassThrough());
  EXPECT_EQ(reader.HandleRequest(IdentifyStx()).answer, StxFrame(Cat({0x06}, Text(o.applicationVersion))));
  // Entry the pass-through way: preparation, then the STX form; the mode outlives the reboot.
  EXPECT_TRUE(reader.HandleRequest(StxFrame({0x25, 0x46, 0xB1, 0x01, 0x00, 0x10})).answer.empty());
  EXPECT_EQ(reader.HandleRequest(StxFrame(EntryPayload("ORVBL"))).answer, kAckOnly);
  EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);
  EXPECT_TRUE(reader.PassThrough());
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0x63, 0x02, {0x02})).answer, HeaderAnswer(0x63, 0x05));
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0x63, 0x02, {0x00})).answer, HeaderAnswer(0x63, 0x00));
  EXPECT_FALSE(reader.PassThrough());
}

// Sends a module's sections and returns the answers.
std::vector<Bytes> Load(SimulatedReader& reader, const std::vector<Section>& sections, bool stx) {
  std::vector<Bytes> answers;
  for (const Section& s : sections) {
    answers.push_back(reader.HandleRequest(stx ? StxBlock(s.address, s.data) : HeaderBlock(s.address, s.data)).answer);
  }
  return answers;
}

std::map<uint32_t, Bytes> ImageOf(const std::vector<Section>& sections) {
  std::map<uint32_t, Bytes> image;
  for (const Section& s : sections) image[s.address] = s.data;
  return image;
}

TEST(BlockTransfer, KeepsTheImageOfACompleteLoadInBothFramings) {
  auto sections = ModuleSections(0x00010000, 5, 32);
  SimulatedReader header(Opts(ReaderMode::Bootloader));
  for (const Bytes& a : Load(header, sections, false)) EXPECT_EQ(a, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(header.BlockImage(), ImageOf(sections));
  ASSERT_EQ(header.Loads().size(), 1u);
  EXPECT_TRUE(header.Loads()[0].complete);
  EXPECT_EQ(header.Loads()[0].dataBlocks, 5u);
  EXPECT_EQ(header.Mode(), ReaderMode::Bootloader);

  SimulatedReader stx(Opts(ReaderMode::Bootloader, FrameProtocol::Stx));
  const Bytes accepted = {0x02, 0x03, 0x00, 0x06, 0x06, 0x06, 0x06, 0x12, 0x03};
  for (const Bytes& a : Load(stx, sections, true)) EXPECT_EQ(a, accepted);
  EXPECT_EQ(stx.BlockImage(), ImageOf(sections));
}

TEST(BlockTransfer, RefusesBlocksOutOfOrderOrOutsideTheBootloader) {
  SimulatedReader app(Opts());
  EXPECT_EQ(app.HandleRequest(HeaderBlock(0, {1, 2})).answer, HeaderAnswer(0xC7, 0x0B));
  SimulatedReader appStx(Opts(ReaderMode::Application, FrameProtocol::Stx));
  EXPECT_EQ(appStx.HandleRequest(StxBlock(0, {1, 2})).answer, StxFrame({0x15, 0x6A, 0x01}));

  SimulatedReader reader(Opts(ReaderMode::Bootloader));
  auto sections = ModuleSections(0x2000, 4, 16);
  EXPECT_EQ(reader.HandleRequest(HeaderBlock(0xFFFFFFFF, {1})).answer, HeaderAnswer(0xC7, 0x05));  // trailer first
  for (size_t i = 0; i < 3; ++i) reader.HandleRequest(HeaderBlock(sections[i].address, sections[i].data));
  // Block 2 before block 1, then a repeat of block 0 (the tool's second try) is fine.
  EXPECT_EQ(reader.HandleRequest(HeaderBlock(sections[4].address, sections[4].data)).answer, HeaderAnswer(0xC7, 0x05));
  EXPECT_EQ(reader.HandleRequest(HeaderBlock(sections[2].address, sections[2].data)).answer, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(reader.HandleRequest(HeaderBlock(sections[3].address, sections[3].data)).answer, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(reader.Loads().back().dataBlocks, 2u);
}

TEST(BlockTransfer, ModuleWithoutPreambleStartsWithItsFirstDataBlock) {
  auto sections = ModuleSections(0x8000, 3, 8, false);
  SimulatedReader reader(Opts(ReaderMode::Bootloader));
  for (const Bytes& a : Load(reader, sections, false)) EXPECT_EQ(a, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(reader.BlockImage(), ImageOf(sections));
}

TEST(BlockTransfer, RebootsIntoTheApplicationAfterALoadWhenAskedTo) {
  ReaderOptions o = Opts(ReaderMode::Bootloader);
  o.afterLoad = AfterLoad::RebootToApplication;
  SimulatedReader reader(o);
  auto sections = ModuleSections(0x100, 2, 8);
  std::vector<ReaderReply> replies;
  for (const Section& s : sections) replies.push_back(reader.HandleRequest(HeaderBlock(s.address, s.data)));
  EXPECT_EQ(replies.back().answer, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(replies.back().after, ReaderReply::After::Reboot);
  EXPECT_EQ(replies.front().after, ReaderReply::After::Nothing);
  EXPECT_EQ(reader.Mode(), ReaderMode::Application);
}

TEST(InterruptedLoad, StopPackageCountsStoredBlocksAndTheToolCanContinue) {
  ReaderOptions o = Opts(ReaderMode::Bootloader);
  o.typeChar = '3';
  o.blockFaults.push_back({7, FaultKind::DropLink, 0, false});  // data block 4
  SimulatedReader reader(o);
  auto sections = ModuleSections(0x10000, 8, 16);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(reader.HandleRequest(HeaderBlock(sections[i].address, sections[i].data)).answer, HeaderAnswer(0xC7, 0));
  }
  ReaderReply dropped = reader.HandleRequest(HeaderBlock(sections[6].address, sections[6].data));
  EXPECT_TRUE(dropped.answer.empty());
  EXPECT_EQ(dropped.after, ReaderReply::After::DropLink);
  EXPECT_EQ(reader.StopPackage(), 4u);
  Bytes data = HeaderData(reader.HandleRequest(IdentifyHeader()).answer, nullptr);
  EXPECT_EQ(Bytes(data.begin() + 24, data.begin() + 28), (Bytes{4, 0, 0, 0}));

  // The tool continues: preamble, then data block 4 onwards.
  std::vector<Section> rest(sections.begin(), sections.begin() + 2);
  rest.insert(rest.end(), sections.begin() + 6, sections.end());
  for (const Bytes& a : Load(reader, rest, false)) EXPECT_EQ(a, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(reader.StopPackage(), 0u);
  auto loads = reader.Loads();
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_TRUE(loads[1].complete);
  EXPECT_EQ(loads[1].dataBlocks, 4u);
  // Both loads together hold the whole file.
  auto image = loads[0].sections;
  for (auto& [address, bytes] : loads[1].sections) image[address] = bytes;
  EXPECT_EQ(image, ImageOf(sections));
}

TEST(InterruptedLoad, StartingOverResetsTheStopPackage) {
  ReaderOptions o = Opts(ReaderMode::Bootloader);
  o.typeChar = '3';
  o.stopPackage = 3;  // left by an earlier, unseen load
  SimulatedReader reader(o);
  auto sections = ModuleSections(0x4000, 6, 8);
  // The tool continues from the stop package: block 3 is the first data block it sends.
  std::vector<Section> rest(sections.begin(), sections.begin() + 2);
  rest.insert(rest.end(), sections.begin() + 5, sections.end() - 1);
  for (const Bytes& a : Load(reader, rest, false)) EXPECT_EQ(a, HeaderAnswer(0xC7, 0x00));
  EXPECT_EQ(reader.StopPackage(), 6u);
  // A fresh load from data block 0 starts the count again.
  Load(reader, std::vector<Section>(sections.begin(), sections.begin() + 4), false);
  EXPECT_EQ(reader.StopPackage(), 2u);
}

struct FaultCase {
  const char* name;
  BlockFault fault;
  bool stx;
  Bytes firstAnswer;   // to block 3 the first time
  Bytes secondAnswer;  // to block 3 sent again
};

class BlockFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BlockFaults, HitTheirBlockOnceOrAlways) {
  const FaultCase& c = GetParam();
  ReaderOptions o = Opts(ReaderMode::Bootloader, c.stx ? FrameProtocol::Stx : FrameProtocol::Header);
  o.blockFaults.push_back(c.fault);
  SimulatedReader reader(o);
  auto sections = ModuleSections(0x100, 3, 8);
  auto send = [&](const Section& s) {
    return reader.HandleRequest(c.stx ? StxBlock(s.address, s.data) : HeaderBlock(s.address, s.data)).answer;
  };
  send(sections[0]);
  send(sections[1]);
  EXPECT_EQ(send(sections[2]), c.firstAnswer);
  EXPECT_EQ(send(sections[2]), c.secondAnswer);
}

const Bytes kHeaderOk = HeaderAnswer(0xC7, 0x00);
const Bytes kStxOk = {0x02, 0x03, 0x00, 0x06, 0x06, 0x06, 0x06, 0x12, 0x03};

Bytes Garbled(Bytes frame) {
  for (size_t i = 10; i + 2 < frame.size(); ++i) {
    if (i != 12 && i != 13) frame[i] ^= 0x5A;
  }
  return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BlockFaults,
    ::testing::Values(
        FaultCase{"StatusOnce", {3, FaultKind::Refuse, 0x0A, false}, false, HeaderAnswer(0xC7, 0x0A), kHeaderOk},
        FaultCase{"StatusAlways", {3, FaultKind::Refuse, 0x0A, true}, false, HeaderAnswer(0xC7, 0x0A),
                  HeaderAnswer(0xC7, 0x0A)},
        FaultCase{"NakOnce", {3, FaultKind::Refuse, 0x8500, false}, true, StxFrame({0x15, 0x85, 0x00}), kStxOk},
        FaultCase{"SilentOnce", {3, FaultKind::Silent, 0, false}, false, Bytes{}, kHeaderOk},
        FaultCase{"SilentAlways", {3, FaultKind::Silent, 0, true}, true, Bytes{}, Bytes{}},
        FaultCase{"GarbleOnce", {3, FaultKind::Garble, 0, false}, false, Garbled(kHeaderOk), kHeaderOk},
        FaultCase{"GarbleStx", {3, FaultKind::Garble, 0, false}, true,
                  Bytes{0x02, 0x03, 0x00, 0x5C, 0x5C, 0x5C, 0x06, 0x12, 0x03}, kStxOk}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, SlowAnswersAndGarbledNthAnswer) {
  ReaderOptions o = Opts();
  o.answerDelayMs = 750;
  o.garbleAnswerNo = 2;
  SimulatedReader reader(o);
  ReaderReply first = reader.HandleRequest(IdentifyHeader());
  EXPECT_EQ(first.answerDelayMs, 750u);
  Bytes clean = first.answer;
  ReaderReply second = reader.HandleRequest(IdentifyHeader());
  EXPECT_NE(second.answer, clean);
  EXPECT_EQ(second.answer.size(), clean.size());
  uint8_t status = 0;
  HeaderData(second.answer, &status);
  EXPECT_NE(status, 0x00);  // the tool sees a refusal, not an answer
  EXPECT_EQ(reader.HandleRequest(IdentifyHeader()).answer, clean);
}

TEST(KernelLoad, BeginChunksFinishForKernelAndUniApp) {
  SimulatedReader reader(Opts());  // kernel modules load while the application runs, too
  const uint8_t tag = 3;
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x11, {tag, 0x00, 0x05, 0x00, 0, 0, 0, 0, 0, 0, 0, 0})).answer,
            HeaderAnswer(0xC7, 0x00));
  Bytes chunk1(1024, 0xAB), chunk2(256, 0xCD);
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x14, Cat({tag, 0, 0, 0}, chunk1))).answer, kHeaderOk);
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x14, Cat({tag, 0, 0, 0}, chunk2))).answer, kHeaderOk);
  ReaderReply finish = reader.HandleRequest(HeaderFrame(0xC7, 0x15, {tag}));
  EXPECT_EQ(finish.answer, kHeaderOk);
  EXPECT_TRUE(finish.followUp.empty());

  const uint8_t uni = 16;
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x45, {uni, 0x00, 0x04, 0x00, 0x00})).answer, kHeaderOk);
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x46, Cat({uni, 0, 0, 0}, chunk1))).answer, kHeaderOk);
  // The chunk numbers must follow on; a repeat replaces the last chunk.
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x46, Cat({uni, 0, 0, 2}, chunk1))).answer, HeaderAnswer(0xC7, 0x05));
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x46, Cat({uni, 0, 0, 0}, chunk1))).answer, kHeaderOk);
  ReaderReply busy = reader.HandleRequest(HeaderFrame(0xC7, 0x47, {uni}));
  EXPECT_EQ(busy.answer, HeaderAnswer(0xC7, 0x63));
  EXPECT_EQ(busy.followUp, kHeaderOk);
  EXPECT_EQ(busy.followUpDelayMs, 1000u);

  auto modules = reader.Modules();
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_FALSE(modules[0].uniApp);
  EXPECT_EQ(modules[0].tag, tag);
  EXPECT_EQ(modules[0].data, Cat(chunk1, chunk2));
  EXPECT_TRUE(modules[0].finished);
  EXPECT_TRUE(modules[1].uniApp);
  EXPECT_EQ(modules[1].data, chunk1);
  EXPECT_TRUE(modules[1].finished);
}

TEST(KernelLoad, RefusesChunksWithoutBeginAndAShortModule) {
  ReaderOptions o = Opts(ReaderMode::Bootloader);
  o.finishBusyMs = 0;
  SimulatedReader reader(o);
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x14, {1, 0, 0, 0, 9})).answer, HeaderAnswer(0xC7, 0x0B));
  reader.HandleRequest(HeaderFrame(0xC7, 0x45, {16, 0x10, 0x00, 0x00, 0x00}));
  EXPECT_EQ(reader.HandleRequest(HeaderFrame(0xC7, 0x46, {17, 0, 0, 0, 9})).answer, HeaderAnswer(0xC7, 0x05));
  reader.HandleRequest(HeaderFrame(0xC7, 0x46, {16, 0, 0, 0, 9}));
  ReaderReply finish = reader.HandleRequest(HeaderFrame(0xC7, 0x47, {16}));
  EXPECT_EQ(finish.answer, HeaderAnswer(0xC7, 0x0A));  // 1 byte of 16 announced
  EXPECT_TRUE(finish.followUp.empty());
}

TEST(KeyboardInterface, AnswersTheFeatureQueryAndIgnoresOutputReports) {
  ReaderOptions o = Opts();
  o.keyboardInterface = true;
  o.keyboardAnswer = "TAVIRON2 V1";
  SimulatedReader reader(o);
  EXPECT_TRUE(reader.HandleRequest(IdentifyHeader()).answer.empty());
  Bytes query = {0x02, 0x52, 0x22, 0x03, 0x71};
  Bytes padded = query;
  padded.resize(64, 0);  // feature reports come zero-filled
  Bytes expected = Cat(Cat({0x02, 0x22}, Text("TAVIRON2 V1")), {0x03});
  uint8_t lrc = 0;
  for (uint8_t b : expected) lrc ^= b;
  expected.push_back(lrc);
  EXPECT_EQ(reader.HandleFeatureRequest(padded).answer, expected);
  EXPECT_EQ(reader.ReceivedFrames().back(), query);

  // The keyboard header form of the entry; the bootloader then listens to output reports.
  ReaderReply entry = reader.HandleFeatureRequest(HeaderFrame(0xC7, 0x41));
  EXPECT_EQ(entry.answer, kHeaderOk);
  EXPECT_EQ(entry.after, ReaderReply::After::Reboot);
  EXPECT_FALSE(reader.KeyboardInterfaceActive());
  EXPECT_FALSE(reader.HandleRequest(IdentifyHeader()).answer.empty());
  EXPECT_TRUE(reader.HandleFeatureRequest(padded).answer.empty());
}

TEST(KeyboardInterface, StxEntryFormNeedsTheCode) {
  ReaderOptions o = Opts();
  o.keyboardInterface = true;
  SimulatedReader reader(o);
  EXPECT_EQ(reader.HandleFeatureRequest(StxFrame(EntryPayload("WRONG"))).answer, kNak6B00);
  EXPECT_EQ(reader.HandleFeatureRequest(StxFrame(EntryPayload("ORVBL"))).answer, kAckOnly);
  EXPECT_EQ(reader.Mode(), ReaderMode::Bootloader);
}

TEST(Record, TraceListsFramesInOrderAsHexLines) {
  SimulatedReader reader(Opts());
  std::vector<std::string> live;
  reader.SetTraceListener([&](const TraceEntry& e) { live.push_back(FormatTraceLine(e)); });
  Bytes request = IdentifyHeader();
  ReaderReply reply = reader.HandleRequest(request);
  reader.RecordSent(reply.answer);
  ASSERT_EQ(reader.Trace().size(), 2u);
  EXPECT_EQ(reader.SentAnswers(), std::vector<Bytes>{reply.answer});
  std::string text = reader.TraceText();
  EXPECT_EQ(text.rfind("RX 4B 65 4C 4F 6D 61 72 6E 32 00 29 00 00 00 ", 0), 0u) << text;
  EXPECT_NE(text.find("\nTX 4B 65 4C 4F 6D 61 72 6E 32 00 29 00 00 1D 4F 72 76"), std::string::npos) << text;
  EXPECT_EQ(live.size(), 2u);
  reader.ClearTrace();
  EXPECT_TRUE(reader.Trace().empty());
}

}  // namespace
}  // namespace orvane::sim
