// The simulated reader's request side: the byte stream of a link, in any
// segments, cut into frames and handled by a reader in any state.

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz_support.h"
#include "reader-sim/request_scanner.h"
#include "reader-sim/simulated_reader.h"

namespace {

using Frame = std::vector<uint8_t>;

std::vector<Frame> Frames(const std::vector<std::span<const uint8_t>>& segments) {
  orvane::sim::RequestScanner scanner;
  std::vector<Frame> frames;
  for (std::span<const uint8_t> segment : segments) {
    scanner.Append(segment);
    while (auto frame = scanner.Next()) frames.push_back(std::move(*frame));
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  fuzz::UseManualClock();
  FuzzedDataProvider input(data, size);
  sim::ReaderOptions options;
  options.mode = input.ConsumeBool() ? sim::ReaderMode::Bootloader : sim::ReaderMode::Application;
  options.framing = input.ConsumeBool() ? FrameProtocol::Header : FrameProtocol::Stx;
  options.keyboardInterface = input.ConsumeBool();
  options.typeChar = static_cast<char>(input.ConsumeIntegral<uint8_t>());
  options.stopPackage = input.ConsumeIntegralInRange<uint32_t>(0, 300);
  options.finishBusyMs = input.ConsumeBool() ? 1000 : 0;
  if (input.ConsumeBool()) {
    sim::BlockFault fault;
    fault.block = input.ConsumeIntegralInRange<uint32_t>(1, 8);
    fault.kind = static_cast<sim::FaultKind>(input.ConsumeIntegralInRange<int>(0, 3));
    fault.always = input.ConsumeBool();
    options.blockFaults.push_back(fault);
  }
  options.garbleAnswerNo = input.ConsumeIntegralInRange<uint32_t>(0, 4);
  const bool features = input.ConsumeBool();
  const std::vector<uint8_t> lengths = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 32));
  const std::vector<uint8_t> stream = input.ConsumeRemainingBytes<uint8_t>();

  sim::SimulatedReader reader(options);
  if (features) {
    // The keyboard interface takes the collected feature bytes as they are.
    for (std::span<const uint8_t> piece : fuzz::Segments(stream, lengths)) (void)reader.HandleFeatureRequest(piece);
    return 0;
  }
  const std::vector<Frame> frames = Frames(fuzz::Segments(stream, lengths));
  ORVANE_FUZZ_CHECK(frames == Frames({std::span<const uint8_t>(stream)}));
  for (const Frame& frame : frames) {
    ORVANE_FUZZ_CHECK(sim::FrameLengthAt(frame) == static_cast<long>(frame.size()));
    const sim::ReaderReply reply = reader.HandleRequest(frame);
    ORVANE_FUZZ_CHECK(reply.answer.size() <= 70000 && reply.followUp.size() <= 70000);
  }
  return 0;
}
