// Connecting to the simulated reader and asking who it is, over every link.

#include <gtest/gtest.h>

#include <string>

#include "bootload/reader_bench.h"
#include "bootload/test_frames.h"
#include "reader-sim/simulated_reader.h"

namespace orvane {
namespace {

using test::Bytes;
using test::Link;
using test::ReaderBench;

sim::ReaderOptions Bootloader(char type, uint32_t stopPackage, FrameProtocol framing = FrameProtocol::Header) {
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  options.typeChar = type;
  options.stopPackage = stopPackage;
  options.framing = framing;
  return options;
}

ConnectionKind KindOf(Link link) {
  switch (link) {
    case Link::Tcp:
      return ConnectionKind::TcpClient;
    case Link::Tls:
      return ConnectionKind::TlsServer;
    case Link::Serial:
      return ConnectionKind::Serial;
    case Link::Hid:
      return ConnectionKind::UsbHid;
  }
  return ConnectionKind::None;
}

class EveryLinkTest : public ::testing::TestWithParam<Link> {};

TEST_P(EveryLinkTest, ApplicationThenBootloaderAnswerFillDeviceInfo) {
  ReaderBench bench;
  ASSERT_TRUE(bench.Connect(GetParam()));
  ReaderChannel& channel = bench.channel();
  EXPECT_EQ(bench.text(), sim::ReaderOptions{}.applicationVersion);
  EXPECT_EQ(channel.connectionKind(), KindOf(GetParam()));
  EXPECT_EQ(channel.frameProtocol(), FrameProtocol::Header);
  EXPECT_EQ(channel.hidChannelOpen(), GetParam() == Link::Hid);
  EXPECT_FALSE(channel.deviceInfo().bootloaderMode);
  // Identification is not part of the session's account.
  EXPECT_EQ(channel.SessionText(), "");
  EXPECT_NE(channel.ExchangeText().find("Get Firmware Version:"), std::string::npos);

  // A reader in its bootloader, non-PCI, with an interrupted load.
  ReaderBench boot(Bootloader('3', 261));
  ASSERT_TRUE(boot.Connect(GetParam()));
  DeviceInfo info = boot.channel().deviceInfo();
  EXPECT_TRUE(info.bootloaderMode);
  EXPECT_FALSE(info.pciType);
  EXPECT_EQ(info.stopPackage, 261);
  EXPECT_NE(info.versionText.find("Bootloader FW"), std::string::npos);
  EXPECT_EQ(boot.text(), info.versionText);
}

INSTANTIATE_TEST_SUITE_P(Links, EveryLinkTest, ::testing::Values(Link::Tcp, Link::Tls, Link::Serial, Link::Hid),
                         [](const auto& info) { return test::LinkName(info.param); });

TEST(IdentificationTest, TypeCharacterDecidesPciTypeAndStopPackage) {
  struct Case {
    char type;
    bool pci;
    int32_t stop;
  };
  for (Case c : {Case{'0', false, 261}, Case{'1', true, 0}, Case{'2', true, 0}, Case{'3', false, 261},
                 Case{'4', true, 0}, Case{'5', false, 261}, Case{'6', true, 0}, Case{'7', false, 261}}) {
    ReaderBench bench(Bootloader(c.type, 261));
    ASSERT_TRUE(bench.Connect(Link::Tcp)) << c.type;
    EXPECT_EQ(bench.channel().deviceInfo().pciType, c.pci) << c.type;
    EXPECT_EQ(bench.channel().deviceInfo().stopPackage, c.stop) << c.type;
  }
  // Another character keeps the earlier PCI verdict, and the stop package follows it.
  ReaderBench bench(Bootloader('X', 261));
  ASSERT_TRUE(bench.Connect(Link::Tcp));
  for (bool pciBefore : {true, false}) {
    DeviceInfo info = bench.channel().deviceInfo();
    info.pciType = pciBefore;
    bench.channel().setDeviceInfo(info);
    EXPECT_FALSE(bench.channel().GetFirmwareVersion().empty());
    EXPECT_EQ(bench.channel().deviceInfo().pciType, pciBefore);
    EXPECT_EQ(bench.channel().deviceInfo().stopPackage, pciBefore ? 0 : 261);
  }
}

TEST(IdentificationTest, HidFramingFollowsIsOvgUnlessAnEarlierEntrySetHeader) {
  // isOVG 0 and a reader in STX framing: the STX query 78 46 01.
  sim::ReaderOptions stx;
  stx.framing = FrameProtocol::Stx;
  ReaderBench plain(stx);
  ASSERT_TRUE(plain.Connect(Link::Hid));
  EXPECT_EQ(plain.channel().frameProtocol(), FrameProtocol::Stx);
  EXPECT_EQ(plain.TakeReceived().front(), test::StxAnswerFrame({0x78, 0x46, 0x01}));

  // isOVG 1: the header query 29 00 00 00.
  ReaderBench header;
  ASSERT_TRUE(header.Connect(Link::Hid));
  EXPECT_EQ(header.TakeReceived().front(), test::HeaderFrameOf(0x29, 0x00, {}));

  // A silent device with isOVG 1 listed first leaves header framing for the
  // next identity, even though that one has isOVG 0.
  ReaderBench kept;
  auto silent = std::make_shared<FakeHidDevice>(0x1D5F, 0x0999);
  kept.hidBackend().AddDevice(silent);
  kept.settings().vidPidList = {{0x1D5F, 0x0999, 1}, {test::kBenchVendorId, test::kBenchProductId, 0}};
  ASSERT_TRUE(kept.Connect(Link::Hid));
  EXPECT_EQ(kept.TakeReceived().front(), test::HeaderFrameOf(0x29, 0x00, {}));
}

TEST(IdentificationTest, SerialReaderGetsHeaderFirstThenStx) {
  for (FrameProtocol framing : {FrameProtocol::Header, FrameProtocol::Stx}) {
    sim::ReaderOptions options;
    options.framing = framing;
    ReaderBench bench(options);
    ASSERT_TRUE(bench.Connect(Link::Serial));
    EXPECT_EQ(bench.channel().frameProtocol(), framing);
    EXPECT_EQ(bench.channel().connectionKind(), ConnectionKind::Serial);
    EXPECT_FALSE(bench.channel().hidChannelOpen());
    EXPECT_EQ(bench.channel().serial().modeText(), "baud=115200 parity=N stop=1 data=8");
    EXPECT_EQ(bench.text(), options.applicationVersion);
  }
}

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

TEST(IdentificationTest, DisplayAndPassThroughFormsOfTheQuery) {
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Stx;
  ReaderBench bench(options);
  ASSERT_TRUE(bench.Connect(Link::Serial));
  bench.TakeReceived();
  EXPECT_EQ(bench.channel().GetFirmwareVersionDisplay(), options.applicationVersion);
  EXPECT_EQ(bench.TakeReceived(), std::vector<Bytes>{test::StxAnswerFrame({0x78, 0x31})});

  // In pass-through mode the query is STX whatever the connection's framing.
  ReaderBench network;
  ASSERT_TRUE(network.Connect(Link::Tcp));
  network.TakeReceived();
  DeviceInfo info = network.channel().deviceInfo();
  info.passThrough = true;
  network.channel().setDeviceInfo(info);
  network.channel().GetFirmwareVersionPassThroughAware();
  EXPECT_EQ(network.TakeReceived(), std::vector<Bytes>{test::StxAnswerFrame({0x78, 0x46, 0x01})});
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

}  // namespace
}  // namespace orvane
