// A serial line that delivers nothing but noise sits before the reader's.

#include "faults/fault_run.h"
#include "faults/peers.h"

namespace orvane::test {
namespace {

TEST_F(FaultRun, NoisyLineIsPassedOverAndTheReaderOnTheNextIsUpdated) {
  const std::string path = AddApplication(3);
  NoiseLine noise;
  ASSERT_TRUE(noise.Start());
  rig.AddSerialPort(noise.path());  // listed first
  sim::ReaderOptions options;
  options.mode = sim::ReaderMode::Bootloader;
  options.framing = FrameProtocol::Stx;
  StartReader(Link::Serial, options);
  Detect();
  EXPECT_GT(noise.bytesWritten(), 0u);
  EXPECT_NE(rig.engine->deviceInfoText().find("Bootloader Mode"), std::string::npos);
  EXPECT_TRUE(PresenterResponds());
  ExpectSecondUpdateSucceeds(path);
  EXPECT_EQ(reader->Loads().size(), 1u);
}

}  // namespace
}  // namespace orvane::test
