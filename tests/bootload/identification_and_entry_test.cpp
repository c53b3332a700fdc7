// Identification, bootloader entry and pass-through mode against the
// simulated reader: the edges and refusals that whole update runs do not meet.

#include <gtest/gtest.h>

#include <string>

#include "bootload/reader_bench.h"
#include "bootload/test_frames.h"

namespace orvane {
namespace {

using test::Bytes;
using test::HeaderFrameOf;
using test::Link;
using test::ReaderBench;

TEST(IdentificationTest, KeyboardInterfaceAnswers) {
  struct Case {
    std::string answer;
    ConnectionKind kind;
    bool keyboardMode;
  };
  for (const Case& c : {Case{"Orvane KB V1.0", ConnectionKind::UsbHidKeyboard, false},
                        Case{"Orvane TAVIRON2 V2.00", ConnectionKind::UsbHidKeyboard, true},
                        Case{"Orvane Taviron2 V2.00", ConnectionKind::UsbHidKeyboard, true},
                        Case{"Orvane R8 V2.00", ConnectionKind::UsbHid, false}}) {
    sim::ReaderOptions options;
    options.keyboardInterface = true;
    options.keyboardAnswer = c.answer;
    ReaderBench bench(options);
    ASSERT_TRUE(bench.Connect(Link::Hid)) << c.answer;
    EXPECT_EQ(bench.text(), c.answer);
    EXPECT_EQ(bench.channel().connectionKind(), c.kind) << c.answer;
    EXPECT_EQ(bench.channel().deviceInfo().keyboardMode, c.keyboardMode) << c.answer;
    EXPECT_EQ(bench.channel().GetKeyboardVersion(), c.answer);
  }
}

TEST(IdentificationTest, SerialFirstSearchTakesOnlyKeyboardWordKb) {
  for (const std::string answer : {"Orvane KB V1.0", "Orvane TAVIRON2 V2.00"}) {
    sim::ReaderOptions options;
    options.keyboardInterface = true;
    options.keyboardAnswer = answer;
    ReaderBench bench(options);
    bench.StartLink(Link::Hid);
    std::string text;
    const bool kb = answer.find("KB") != std::string::npos;
    EXPECT_EQ(bench.channel().ConnectSerialOrUsb(text), kb) << answer;
    EXPECT_EQ(text, kb ? answer : "");
    EXPECT_FALSE(bench.channel().deviceInfo().keyboardMode);
  }
}

TEST(IdentificationTest, LiveTlsClientWithoutRestartSendsNothing) {
  ReaderBench bench;
  ASSERT_TRUE(bench.Connect(Link::Tls));
  bench.TakeReceived();
  std::string text = "kept";
  EXPECT_TRUE(bench.channel().ConnectTlsServer(text, bench.tlsPort(), false));
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(bench.TakeReceived().empty());
  // Another kind of link is refused while the network one is established.
  EXPECT_TRUE(bench.channel().ConnectUsbOrSerial(text));  // the TLS link is kept as it is
  EXPECT_FALSE(bench.channel().ConnectTcpClient(text, "127.0.0.1", 1, true));
  EXPECT_EQ(text, "");
}

const Bytes kEntryPayload = {0x78, 0x46, 'O', 'R', 'V', 'B', 'L', 0, 0, 0, 0, 0, 0, 0, 0};

sim::ReaderOptions WithFraming(FrameProtocol framing, std::string version = sim::ReaderOptions{}.applicationVersion) {
  sim::ReaderOptions options;
  options.framing = framing;
  options.applicationVersion = std::move(version);
  return options;
}

TEST(BootloaderEntryTest, RefusedStxEntryReportsTheCodeBehindTheExchange) {
  sim::ReaderOptions options = WithFraming(FrameProtocol::Stx);
  options.accessCode = "ABCDE";
  ReaderBench bench(options);
  ASSERT_TRUE(bench.Connect(Link::Hid));
  bench.channel().SetSessionText("older\r\n");
  EXPECT_FALSE(bench.channel().EnterBootLoaderStx());
  EXPECT_EQ(bench.channel().SessionText(),
            bench.channel().ExchangeText() + "older\r\n" +
                "\r\nError Code:0x6B00. Unknown parameter in command - Protocol task ID and command are right, "
                "but parameter is invalid\r\n");
  EXPECT_EQ(bench.reader().Mode(), sim::ReaderMode::Application);
}

// Route choices the whole runs do not meet.
TEST(EntryRouteTest, RoutesByLinkAndReader) {
  // Already in the bootloader: nothing is sent.
  sim::ReaderOptions boot;
  boot.mode = sim::ReaderMode::Bootloader;
  ReaderBench inBoot(boot);
  ASSERT_TRUE(inBoot.Connect(Link::Tcp));
  inBoot.TakeReceived();
  EXPECT_EQ(inBoot.channel().EnterBootLoaderByRoute(EntryRoute::Direct), EntryOutcome::AlreadyInBootloader);
  EXPECT_TRUE(inBoot.TakeReceived().empty());

  // Keyboard interface: the STX form in a feature report, or the header form
  // for the keyboard-mode product; no new connection afterwards.
  for (const std::string answer : {"Orvane KB V1.0", "Orvane TAVIRON2 V2.00"}) {
    sim::ReaderOptions options;
    options.keyboardInterface = true;
    options.keyboardAnswer = answer;
    ReaderBench keyboard(options);
    ASSERT_TRUE(keyboard.Connect(Link::Hid));
    keyboard.hidDevice()->ClearRecords();
    EXPECT_EQ(keyboard.channel().EnterBootLoaderByRoute(EntryRoute::Direct), EntryOutcome::Accepted);
    const bool header = keyboard.channel().deviceInfo().keyboardMode;
    const auto features = keyboard.hidDevice()->FeatureReportsSet();
    ASSERT_FALSE(features.empty());
    EXPECT_EQ(Bytes(features[0].begin() + 1, features[0].begin() + (header ? 17 : 22)),
              header ? HeaderFrameOf(0xC7, 0x41, {}) : test::StxAnswerFrame(kEntryPayload));
    EXPECT_FALSE(ReconnectsAfterEntry(keyboard.channel().connectionKind()));
  }

  // HID reader of the pass-through model: mode on, STX query, preparation, STX entry.
  ReaderBench hid(WithFraming(FrameProtocol::Header, "Orvane Q4710 APP V1.00"));
  ASSERT_TRUE(hid.Connect(Link::Hid));
  hid.TakeReceived();
  EXPECT_EQ(hid.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::Accepted);
  EXPECT_EQ(hid.TakeReceived(),
            (std::vector<Bytes>{HeaderFrameOf(0x63, 0x02, {0x01}), test::StxAnswerFrame({0x78, 0x46, 0x01}),
                                test::StxAnswerFrame({0x25, 0x46, 0xB1, 0x01, 0x00, 0x10}),
                                test::StxAnswerFrame(kEntryPayload)}));

  // A reader without the mode refuses it twice.
  ReaderBench plain;
  ASSERT_TRUE(plain.Connect(Link::Tcp));
  plain.TakeReceived();
  EXPECT_EQ(plain.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::PassThroughRefused);
  EXPECT_EQ(plain.TakeReceived().size(), 2u);

  // Its STX entry refused twice (another access code): refused.
  sim::ReaderOptions otherCode = WithFraming(FrameProtocol::Header, "Orvane Q4710 APP V1.00");
  otherCode.accessCode = "ABCDE";
  ReaderBench refusing(otherCode);
  ASSERT_TRUE(refusing.Connect(Link::Hid));
  EXPECT_EQ(refusing.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::Refused);
  EXPECT_EQ(refusing.reader().Mode(), sim::ReaderMode::Application);

  // A TCP link has no pass-through entry form.
  ReaderBench tcp(WithFraming(FrameProtocol::Header, "Orvane Q4710 APP V1.00"));
  ASSERT_TRUE(tcp.Connect(Link::Tcp));
  EXPECT_EQ(tcp.channel().EnterBootLoaderByRoute(EntryRoute::PassThrough), EntryOutcome::Refused);
}

}  // namespace
}  // namespace orvane
