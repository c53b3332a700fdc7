#include "reader-sim/sim_pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "sim_test_frames.h"
#include "sim_test_io.h"
#include "support/temp_dir.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

// Opens the line the way the tool's serial port does: raw, no controlling terminal.
UniqueFd OpenLine(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!fd) return fd;
  termios tio{};
  ::tcgetattr(fd.get(), &tio);
  ::cfmakeraw(&tio);
  ::cfsetspeed(&tio, B9600);
  ::tcsetattr(fd.get(), TCSANOW, &tio);
  return fd;
}

class SimSerial : public ::testing::Test {
 protected:
  ScaledClock clock_{100};
  ScopedClock scoped_{clock_};
};

TEST_F(SimSerial, SkipsThePreambleAndAnswersInItsFraming) {
  ReaderOptions o;
  o.framing = FrameProtocol::Stx;
  SimulatedReader reader(o);
  orvane::test::TempDir dir;
  SimPty pty(reader, dir.File("reader-tty"));
  ASSERT_TRUE(pty.Start());
  char target[256] = {};
  ASSERT_GT(::readlink(dir.File("reader-tty").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(pty.Path(), target);

  UniqueFd line = OpenLine(dir.File("reader-tty"));
  ASSERT_TRUE(line);
  // A header request is not this reader's framing: no answer; the STX one after it is answered.
  ASSERT_TRUE(WriteAll(line.get(), Cat(Bytes(100, 0x00), IdentifyHeader())));
  ASSERT_TRUE(WriteAll(line.get(), Cat(Bytes(100, 0x00), IdentifyStx())));
  EXPECT_EQ(ReadAnswer(line.get()), StxFrame(Cat({0x06}, Text("Orvane Taviron2 APP V2.00.020"))));
  EXPECT_EQ(reader.ReceivedFrames(), (std::vector<Bytes>{IdentifyHeader(), IdentifyStx()}));

  pty.Stop();
  EXPECT_NE(::access(dir.File("reader-tty").c_str(), F_OK), 0) << "the link goes with the line";
}

TEST_F(SimSerial, IsSilentWhileRebooting) {
  ReaderOptions o;
  o.rebootDelayMs = 60000;  // 0.6 s on the scaled clock
  SimulatedReader reader(o);
  SimPty pty(reader);
  ASSERT_TRUE(pty.Start());
  UniqueFd line = OpenLine(pty.Path());
  ASSERT_TRUE(WriteAll(line.get(), HeaderFrame(0xC7, 0x41)));
  EXPECT_EQ(ReadAnswer(line.get()), HeaderAnswer(0xC7, 0x00));

  ASSERT_TRUE(WriteAll(line.get(), IdentifyHeader()));
  EXPECT_TRUE(ReadFor(line.get(), 100).empty()) << "not heard during the reboot";
  Bytes answer;
  ASSERT_TRUE(WaitUntil([&] {
    if (!WriteAll(line.get(), IdentifyHeader())) return false;
    answer = ReadAnswer(line.get(), 100);
    return !answer.empty();
  }));
  ASSERT_GT(answer.size(), 30u);
  EXPECT_EQ(std::string(answer.begin() + 14, answer.begin() + 27), "Bootloader FW");
}

TEST_F(SimSerial, AbandonsAFrameWhoseRestNeverComes) {
  SimulatedReader reader;
  SimPty pty(reader);
  ASSERT_TRUE(pty.Start());
  UniqueFd line = OpenLine(pty.Path());
  // The start of a 60-byte block command, and then nothing for longer than
  // the gap that ends a message (5 ms of real time on the scaled clock).
  Bytes block = HeaderBlock(0x100, Bytes(40, 0x11));
  ASSERT_TRUE(WriteAll(line.get(), Bytes(block.begin(), block.begin() + 14)));
  ReadFor(line.get(), 50);
  ASSERT_TRUE(WriteAll(line.get(), IdentifyHeader()));
  EXPECT_EQ(ReadAnswer(line.get()), HeaderAnswer(0x29, 0x00, Text("Orvane Taviron2 APP V2.00.020")));
  EXPECT_EQ(reader.ReceivedFrames(), std::vector<Bytes>{IdentifyHeader()});
}

}  // namespace
}  // namespace orvane::sim
