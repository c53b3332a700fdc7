#include "reader-sim/request_scanner.h"

#include <gtest/gtest.h>

#include "sim_test_frames.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

std::vector<Bytes> Drain(RequestScanner& scanner) {
  std::vector<Bytes> frames;
  while (auto f = scanner.Next()) frames.push_back(*f);
  return frames;
}

TEST(RequestScanner, SkipsTheZeroPreambleAndSplitsFramesThatArriveTogether) {
  RequestScanner scanner;
  Bytes stream(100, 0x00);
  stream = Cat(Cat(stream, IdentifyStx()), IdentifyHeader());
  stream = Cat(stream, EntryHeaderFrame("ORVBL"));
  scanner.Append(stream);
  EXPECT_EQ(Drain(scanner), (std::vector<Bytes>{IdentifyStx(), IdentifyHeader(), EntryHeaderFrame("ORVBL")}));
  EXPECT_FALSE(scanner.Pending());
}

TEST(RequestScanner, WaitsForTheRestOfAFrame) {
  RequestScanner scanner;
  Bytes block = HeaderBlock(0x1000, Bytes(300, 0x42));
  for (size_t cut : {1u, 5u, 13u, 14u, 200u}) {
    scanner.Clear();
    scanner.Append(Bytes(block.begin(), block.begin() + cut));
    EXPECT_FALSE(scanner.Next()) << cut;
    EXPECT_TRUE(scanner.Pending());
    scanner.Append(Bytes(block.begin() + cut, block.end()));
    auto frame = scanner.Next();
    ASSERT_TRUE(frame) << cut;
    EXPECT_EQ(*frame, block);
  }
}

TEST(RequestScanner, StepsOverJunkThatLooksLikeAFrameStart) {
  RequestScanner scanner;
  // A stray STX whose "frame" does not end in ETX, half a header word, and
  // a length beyond any request.
  Bytes junk = {0x02, 0x01, 0x00, 0x55, 0x66, 0x77, 0x88, 'K', 'e', 'L', 'x', 0x02, 0xFF, 0xFF};
  scanner.Append(Cat(junk, IdentifyStx()));
  EXPECT_EQ(Drain(scanner), std::vector<Bytes>{IdentifyStx()});
}

TEST(FrameLength, TellsEachFramingsLength) {
  EXPECT_EQ(FrameLengthAt(IdentifyHeader()), 16);
  EXPECT_EQ(FrameLengthAt(IdentifyStx()), 9);
  EXPECT_EQ(FrameLengthAt(EntryHeaderFrame("ORVBL")), 27);  // its length field holds letters
  EXPECT_EQ(FrameLengthAt(Bytes{0x02, 0x01}), 0);
  EXPECT_EQ(FrameLengthAt(Bytes{'K', 'e', 'L'}), 0);
  EXPECT_EQ(FrameLengthAt(Bytes{0x00}), -1);
  EXPECT_EQ(FrameLengthAt(Bytes{'K', 'x'}), -1);
}

}  // namespace
}  // namespace orvane::sim
