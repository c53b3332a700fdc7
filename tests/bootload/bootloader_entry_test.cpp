// Bootloader entry in its forms, pass-through mode and the route choice,
// against the simulated reader.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bootload/reader_bench.h"
#include "bootload/test_frames.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrameOf;
using test::Link;
using test::ReaderBench;
using test::StxAnswerFrame;

const Bytes kEntryPayload = {0x78, 0x46, 'O', 'R', 'V', 'B', 'L', 0, 0, 0, 0, 0, 0, 0, 0};

sim::ReaderOptions WithFraming(FrameProtocol framing, std::string version = sim::ReaderOptions{}.applicationVersion) {
  sim::ReaderOptions options;
  options.framing = framing;
  options.applicationVersion = std::move(version);
  return options;
}

// The frame at the start of the first feature report set (after the report id).
Bytes FeatureFrame(FakeHidDevice& device, size_t length) {
  std::vector<std::vector<uint8_t>> reports = device.FeatureReportsSet();
  if (reports.empty() || reports.front().size() < length + 1) return {};
  return Bytes(reports.front().begin() + 1, reports.front().begin() + 1 + static_cast<std::ptrdiff_t>(length));
}

TEST(BootloaderEntryTest, HeaderFormIsSixteenBytesUnderHeaderAndTwentySevenUnderStx) {
  ReaderBench header(WithFraming(FrameProtocol::Header));
  ASSERT_TRUE(header.Connect(Link::Tcp));
  header.TakeReceived();
  ReaderStatus status = 0xEE;
  EXPECT_TRUE(header.channel().EnterBootLoaderHeader(status));
  EXPECT_EQ(status, 0x00);
  EXPECT_EQ(header.TakeReceived(), std::vector<Bytes>{HeaderFrameOf(0xC7, 0x41, {})});

  ReaderBench stx(WithFraming(FrameProtocol::Stx));
  ASSERT_TRUE(stx.Connect(Link::Serial));
  stx.TakeReceived();
  EXPECT_TRUE(stx.channel().EnterBootLoaderHeader(status));
  std::vector<Bytes> received = stx.TakeReceived();
  ASSERT_EQ(received.size(), 1u);
  Bytes expected(kEntryPayload.size() + kHeaderOverhead);
  std::copy(kEntryPayload.begin(), kEntryPayload.end(), expected.begin());
  BuildHeaderFrame(expected, kEntryPayload.size());
  EXPECT_EQ(received[0].size(), 27u);
  EXPECT_EQ(received[0], expected);
  // The account of the exchange comes first, nothing is added on acceptance.
  EXPECT_EQ(stx.channel().SessionText(), stx.channel().ExchangeText());
}

TEST(BootloaderEntryTest, StxFormAndPreparation) {
  ReaderBench bench(WithFraming(FrameProtocol::Stx));
  ASSERT_TRUE(bench.Connect(Link::Hid));
  bench.TakeReceived();
  // The preparation is not answered and need not be.
  EXPECT_TRUE(bench.channel().EnterBootLoaderPreparation());
  EXPECT_TRUE(bench.channel().EnterBootLoaderStx());
  std::vector<Bytes> received = bench.TakeReceived();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], StxAnswerFrame({0x25, 0x46, 0xB1, 0x01, 0x00, 0x10}));
  EXPECT_EQ(received[1].size(), 21u);
  EXPECT_EQ(received[1], StxAnswerFrame(kEntryPayload));
  EXPECT_EQ(bench.reader().Mode(), sim::ReaderMode::Bootloader);
}

TEST(BootloaderEntryTest, RefusedStxEntryReportsTheCodeBehindTheExchange) {
  sim::ReaderOptions options = WithFraming(FrameProtocol::Stx);
  options.accessCode = "ABCDE";
  ReaderBench bench(options);
  ASSERT_TRUE(bench.Connect(Link::Serial));
  bench.channel().SetSessionText("older\r\n");
  EXPECT_FALSE(bench.channel().EnterBootLoaderStx());
  EXPECT_EQ(bench.channel().SessionText(),
            bench.channel().ExchangeText() + "older\r\n" +
                "\r\nError Code:0x6B00. Unknown parameter in command - Protocol task ID and command are right, "
                "but parameter is invalid\r\n");
  EXPECT_EQ(bench.reader().Mode(), sim::ReaderMode::Application);
}

TEST(BootloaderEntryTest, KeyboardFormsGoThroughFeatureReports) {
  for (bool headerForm : {false, true}) {
    sim::ReaderOptions options;
    options.keyboardInterface = true;
    options.keyboardAnswer = "Orvane KB V1.0";
    ReaderBench bench(options);
    ASSERT_TRUE(bench.Connect(Link::Hid));
    bench.hidDevice()->ClearRecords();
    if (headerForm) {
      EXPECT_TRUE(bench.channel().EnterBootLoaderKeyboardHeader());
      EXPECT_EQ(FeatureFrame(*bench.hidDevice(), 16), HeaderFrameOf(0xC7, 0x41, {}));
    } else {
      EXPECT_TRUE(bench.channel().EnterBootLoaderKeyboardStx());
      EXPECT_EQ(FeatureFrame(*bench.hidDevice(), 21), StxAnswerFrame(kEntryPayload));
    }
    EXPECT_TRUE(bench.hidDevice()->OutputReports().empty());
    EXPECT_EQ(bench.reader().Mode(), sim::ReaderMode::Bootloader);
  }
}

TEST(BootloaderEntryTest, KeyboardHeaderFormWithoutDeviceReportsTheFailure) {
  ReaderBench bench;
  EXPECT_FALSE(bench.channel().EnterBootLoaderKeyboardHeader());
  EXPECT_EQ(bench.channel().SessionText(), "\nError, enter the bootload mode failed!\n");
}

TEST(PassThroughTest, OnOffAndRefusals) {
  ReaderBench bench(WithFraming(FrameProtocol::Header, "Orvane Q4710 APP V1.00"));
  ASSERT_TRUE(bench.Connect(Link::Serial));
  bench.TakeReceived();
  ReaderStatus status = 0xEE;
  EXPECT_TRUE(bench.channel().EnterPassThrough(status));
  EXPECT_EQ(status, 0x00);
  EXPECT_TRUE(bench.channel().deviceInfo().passThrough);
  EXPECT_TRUE(bench.reader().PassThrough());
  EXPECT_TRUE(bench.channel().ExitPassThrough(status));
  EXPECT_FALSE(bench.channel().deviceInfo().passThrough);
  EXPECT_EQ(bench.TakeReceived(),
            (std::vector<Bytes>{HeaderFrameOf(0x63, 0x02, {0x01}), HeaderFrameOf(0x63, 0x02, {0x00})}));

  // A model without the mode refuses it.
  ReaderBench other(WithFraming(FrameProtocol::Header));
  ASSERT_TRUE(other.Connect(Link::Tcp));
  EXPECT_FALSE(other.channel().EnterPassThrough(status));
  EXPECT_EQ(status, 0x02);
  EXPECT_FALSE(other.channel().deviceInfo().passThrough);
  EXPECT_EQ(other.channel().SessionText(), other.channel().ExchangeText() + "\r\nError Code:0x02. Unknown Command\r\n");

  // A reader that does not answer at all: status 0xFF.
  ReaderBench silent(WithFraming(FrameProtocol::Stx));
  ASSERT_TRUE(silent.Connect(Link::Serial));
  EXPECT_FALSE(silent.channel().EnterPassThrough(status));
  EXPECT_EQ(status, 0xFF);
  EXPECT_NE(silent.channel().SessionText().find("\r\nError Code:0xFF. Error,Unknow Error.\r\n"), std::string::npos);
}

TEST(EntryRouteTest, DirectRoute) {
  // Already in the bootloader: nothing is sent.
  sim::ReaderOptions boot;
  boot.mode = sim::ReaderMode::Bootloader;
  ReaderBench inBoot(boot);
  ASSERT_TRUE(inBoot.Connect(Link::Tcp));
  inBoot.TakeReceived();
  EXPECT_EQ(inBoot.channel().EnterBootLoaderByRoute(EntryRoute::Direct), EntryOutcome::AlreadyInBootloader);
  EXPECT_TRUE(inBoot.TakeReceived().empty());

  // Network link: the header form; the reader then comes back on a new connection.
  ReaderBench net;
  ASSERT_TRUE(net.Connect(Link::Tcp));
  net.TakeReceived();
  EXPECT_EQ(net.channel().EnterBootLoaderByRoute(EntryRoute::Direct), EntryOutcome::Accepted);
  EXPECT_EQ(net.TakeReceived(), std::vector<Bytes>{HeaderFrameOf(0xC7, 0x41, {})});
  EXPECT_TRUE(ReconnectsAfterEntry(net.channel().connectionKind()));

  // Keyboard interface: the STX form, or the header form for the keyboard-mode product.
  for (const std::string answer : {"Orvane KB V1.0", "Orvane TAVIRON2 V2.00"}) {
    sim::ReaderOptions options;
    options.keyboardInterface = true;
    options.keyboardAnswer = answer;
    ReaderBench keyboard(options);
    ASSERT_TRUE(keyboard.Connect(Link::Hid));
    keyboard.hidDevice()->ClearRecords();
    EXPECT_EQ(keyboard.channel().EnterBootLoaderByRoute(EntryRoute::Direct), EntryOutcome::Accepted);
    const bool header = keyboard.channel().deviceInfo().keyboardMode;
    EXPECT_EQ(FeatureFrame(*keyboard.hidDevice(), header ? 16 : 21),
              header ? HeaderFrameOf(0xC7, 0x41, {}) : StxAnswerFrame(kEntryPayload));
    EXPECT_FALSE(ReconnectsAfterEntry(keyboard.channel().connectionKind()));
  }
}

TEST(EntryRouteTest, PassThroughRoute) {
  // HID reader of the pass-through model: mode on, STX query, preparation, STX entry.
  ReaderBench hid(WithFraming(FrameProtocol::Header, "Orvane Q4710 APP V1.00"));
  ASSERT_TRUE(hid.Connect(Link::Hid));
  hid.TakeReceived();
  EXPECT_EQ(hid.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::Accepted);
  EXPECT_EQ(hid.TakeReceived(),
            (std::vector<Bytes>{HeaderFrameOf(0x63, 0x02, {0x01}), StxAnswerFrame({0x78, 0x46, 0x01}),
                                StxAnswerFrame({0x25, 0x46, 0xB1, 0x01, 0x00, 0x10}), StxAnswerFrame(kEntryPayload)}));

  // A reader without the mode refuses it twice.
  ReaderBench plain;
  ASSERT_TRUE(plain.Connect(Link::Tcp));
  plain.TakeReceived();
  EXPECT_EQ(plain.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::PassThroughRefused);
  EXPECT_EQ(plain.TakeReceived().size(), 2u);

  // A TCP link has no pass-through entry form.
  ReaderBench tcp(WithFraming(FrameProtocol::Header, "Orvane Q4710 APP V1.00"));
  ASSERT_TRUE(tcp.Connect(Link::Tcp));
  EXPECT_EQ(tcp.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::Refused);
}

}  // namespace
}  // namespace orvane
