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

// A silent device with isOVG 1 listed first leaves header framing for the
// next identity, even though that one has isOVG 0.
TEST(IdentificationTest, HidFramingFollowsIsOvgUnlessAnEarlierEntrySetHeader) {
  ReaderBench kept;
  auto silent = std::make_shared<FakeHidDevice>(0x1D5F, 0x0999);
  kept.hidBackend().AddDevice(silent);
  kept.settings().vidPidList = {{0x1D5F, 0x0999, 1}, {test::kBenchVendorId, test::kBenchProductId, 0}};
  ASSERT_TRUE(kept.Connect(Link::Hid));
  EXPECT_EQ(kept.TakeReceived().front(), test::HeaderFrameOf(0x29, 0x00, {}));
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
