// The judging of the reader's answers: identification in both framings, the
// keyboard interface's answer, entry and block answers, header status.

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "bootload/answer_judging.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  FuzzedDataProvider input(data, size);
  const bool flag = input.ConsumeBool();
  const int32_t stopPackage = input.ConsumeIntegral<int32_t>();
  const uint32_t lastIndex = input.ConsumeIntegral<uint32_t>();
  const std::vector<uint8_t> answer = input.ConsumeRemainingBytes<uint8_t>();

  for (FrameProtocol framing : {FrameProtocol::Stx, FrameProtocol::Header}) {
    DeviceInfo info;
    info.versionText = "before";
    info.stopPackage = 7;
    const std::string text = JudgeVersionAnswer(info, answer, framing);
    ORVANE_FUZZ_CHECK(text.size() <= kVersionTextCapacity && info.versionText.size() <= kVersionTextCapacity);
    ORVANE_FUZZ_CHECK(text.find('\0') == std::string::npos);
    if (!text.empty()) ORVANE_FUZZ_CHECK(info.versionText == text);
    if (info.bootloaderMode) ORVANE_FUZZ_CHECK(info.versionText.find(kBootloaderMarker) != std::string::npos);
    // A PCI reader never offers a point to resume from.
    if (info.pciType) ORVANE_FUZZ_CHECK(info.stopPackage == 0 || info.stopPackage == 7);
    (void)NamesPassThroughModel(info.versionText);
  }

  const std::string keyboard = KeyboardAnswerText(flag, answer);
  ORVANE_FUZZ_CHECK(keyboard.size() <= kVersionTextCapacity && keyboard.size() + 2 <= std::max<size_t>(answer.size(), 2));
  if (!flag) ORVANE_FUZZ_CHECK(keyboard.empty());

  const StxAnswer entry = JudgeStxEntryAnswer(flag, answer);
  const StxAnswer block = JudgeStxBlockAnswer(answer);
  if (answer.size() <= 5) ORVANE_FUZZ_CHECK(entry == StxAnswer::NoAnswer && block == StxAnswer::NoAnswer);
  if (block == StxAnswer::Accepted) ORVANE_FUZZ_CHECK(!flag || entry == StxAnswer::Accepted);
  (void)HeaderAnswerStatus(answer);
  if (answer.size() >= 6) (void)StxErrorCodeText(answer[4], answer[5]);
  if (!answer.empty()) (void)HeaderErrorCodeText(answer[0]);

  // Something of the queue is always left to send after the skipped blocks.
  const uint64_t skipEnd = ResumeSkipEnd(stopPackage, lastIndex);
  ORVANE_FUZZ_CHECK(skipEnd == kFirstDataSectionIndex || (skipEnd > kFirstDataSectionIndex && skipEnd <= lastIndex));
  return 0;
}
