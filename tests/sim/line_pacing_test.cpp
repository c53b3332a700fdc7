// Wire timing of the simulated links: a serial line as slow as its baud
// rate, HID reports one per frame.

#include "reader-sim/line_pacing.h"

#include <fcntl.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "reader-sim/link_pause.h"
#include "reader-sim/sim_command_line.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/sim_pty.h"
#include "sim_test_frames.h"
#include "sim_test_io.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

TEST(SerialLineTiming, TenBitsPerByteQueuedBehindWhatIsOnTheWire) {
  SerialLineTiming line(115200);
  EXPECT_EQ(line.WireUs(1152), 100'000u);
  EXPECT_EQ(line.Enqueue(50, 1152), 50'000u);
  EXPECT_EQ(line.BusyUntilMs(), 150u);
  // Bytes handed over while the line is busy start when it is free.
  EXPECT_EQ(line.Enqueue(60, 12), 150'000u);
  EXPECT_EQ(line.BusyUntilUs(), 151'041u);
  EXPECT_EQ(line.BusyUntilMs(), 151u) << "to the nearest millisecond";
  line.Enqueue(60, 6);
  EXPECT_EQ(line.BusyUntilMs(), 152u);
  // Later bytes start when handed over.
  EXPECT_EQ(line.Enqueue(400, 1), 400'000u);

  SerialLineTiming unpaced(0);
  EXPECT_FALSE(unpaced.Paced());
  EXPECT_EQ(unpaced.WireUs(5000), 0u);
}

TEST(SerialLineTiming, PacedWritesGoOutWholeOnceTheirLastByteHasCrossed) {
  ManualClock clock;
  ScopedClock scoped(clock);
  clock.Advance(1000);
  LinkPause pause;
  SerialLineTiming line(115200);
  std::vector<uint64_t> writes;
  ASSERT_TRUE(WritePaced(line, pause, 1152, [&] {
    writes.push_back(TickMs());
    return true;
  }));
  EXPECT_EQ(writes, std::vector<uint64_t>{1100}) << "100 ms for 1152 bytes at 115200, then all at once";
  // Queued behind the first: 12 more bytes end 1.04 ms later.
  ASSERT_TRUE(WritePaced(line, pause, 12, [&] {
    writes.push_back(TickMs());
    return true;
  }));
  EXPECT_EQ(writes.back(), 1101u);
  // A failing link fails the write.
  EXPECT_FALSE(WritePaced(line, pause, 100, [] { return false; }));
  // Unpaced: at once.
  SerialLineTiming fast(0);
  const uint64_t before = TickMs();
  EXPECT_TRUE(WritePaced(fast, pause, 5000, [] { return true; }));
  EXPECT_EQ(TickMs(), before);
}

TEST(ReportSlots, OneReportPerFrameAfterTheLastOne) {
  ReportSlots slots(1);
  EXPECT_EQ(slots.Next(100), 101u);
  EXPECT_EQ(slots.Next(100), 102u) << "handed over together: one frame each";
  EXPECT_EQ(slots.Next(101), 103u);
  EXPECT_EQ(slots.Next(200), 201u) << "an idle endpoint takes the next frame";
  EXPECT_FALSE(ReportSlots().Paced());
}

TEST(SimLineSpeed, CommandLineTakesTheBaudRateForThePseudoTerminalOnly) {
  SimCommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseSimCommandLine({"--pty", "--baud", "921600"}, cl, error)) << error;
  EXPECT_EQ(cl.reader.lineBaud, 921600u);
  EXPECT_FALSE(ParseSimCommandLine({"--tcp-listen", "0", "--baud", "9600"}, cl, error));
  EXPECT_FALSE(ParseSimCommandLine({"--pty", "--baud", "fast"}, cl, error));
  EXPECT_NE(SimUsage().find("--baud N"), std::string::npos);
}

// Program time runs 10 times faster; the checks are lower bounds only, so a
// slow machine cannot make them fail.
class PacedLink : public ::testing::Test {
 protected:
  ScaledClock clock_{10};
  ScopedClock scoped_{clock_};
};

TEST_F(PacedLink, SerialRequestAndAnswerTakeTheirWireTime) {
  ReaderOptions o;
  o.lineBaud = 9600;  // 960 bytes per second
  SimulatedReader reader(o);
  SimPty pty(reader);
  ASSERT_TRUE(pty.Start());
  UniqueFd line(::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(line);
  termios tio{};
  ::tcgetattr(line.get(), &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(line.get(), TCSANOW, &tio);

  // 96 request bytes (100 ms on the wire), and the answer of 16 bytes (17 ms).
  const Bytes request = HeaderFrame(0x29, 0x00, Bytes(80, 0x11));
  ASSERT_EQ(request.size(), 96u);
  const uint64_t start = TickMs();
  ASSERT_TRUE(WriteAll(line.get(), request));
  const Bytes answer = ReadAnswer(line.get());
  const uint64_t took = TickMs() - start;
  ASSERT_FALSE(answer.empty());
  // Less one millisecond: the line rounds to whole ones.
  EXPECT_GE(took + 1, 100u + answer.size() * 1000 / 960) << "answer of " << answer.size() << " bytes";
  EXPECT_EQ(reader.ReceivedFrames().size(), 1u);
}

TEST_F(PacedLink, HidReportsTakeOneFrameEach) {
  FakeHidBackend backend;
  auto device = std::make_shared<FakeHidDevice>(0x1234, 0x4521);
  backend.AddDevice(device);
  ReaderOptions o;
  o.mode = ReaderMode::Bootloader;
  o.hidReportIntervalMs = 1;
  SimulatedReader reader(o);
  SimHidDevice sim(reader, device);
  ASSERT_TRUE(sim.Start());
  auto connection = backend.Open(backend.Enumerate().at(0), nullptr);
  ASSERT_TRUE(connection);

  // A block of 1044 bytes: 17 sequenced output reports.
  const Bytes frame = HeaderBlock(0, Bytes(1024, 0x5A));
  const size_t reports = (frame.size() + 62) / 63;
  ASSERT_EQ(reports, 17u);
  const uint64_t start = TickMs();
  for (size_t i = 0; i < reports; ++i) {
    Bytes report(65, 0);
    report[0] = i == 0 ? 2 : i + 1 == reports ? 4 : 3;
    const size_t n = std::min<size_t>(63, frame.size() - i * 63);
    std::copy_n(frame.begin() + static_cast<long>(i * 63), n, report.begin() + 1);
    ASSERT_EQ(connection->WriteOutputReport(report), 65);
  }
  const uint64_t written = TickMs();
  EXPECT_GE(written - start, reports - 1) << "each write waits for its frame";

  Bytes answer(65, 0);
  ASSERT_GT(connection->ReadInputReport(answer, 2000), 0);
  EXPECT_EQ(answer[0], 1);
  EXPECT_EQ(Bytes(answer.begin() + 1, answer.begin() + 17), HeaderAnswer(0xC7, 0x00));
}

}  // namespace
}  // namespace orvane::sim
