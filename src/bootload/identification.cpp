// Asking the reader who it is: the version query in its three forms and the
// short keyboard-interface query.

#include <array>
#include <mutex>
#include <span>

#include "bootload/answer_judging.h"
#include "bootload/reader_channel.h"
#include "bootload/reader_command.h"
#include "protocol/command_codes.h"
#include "transport/hid_device.h"

namespace orvane {
namespace {

constexpr char kGetFirmwareVersionName[] = "Get Firmware Version";
constexpr uint8_t kVersionQueryStx[] = {0x78, 0x46, 0x01};
constexpr uint8_t kVersionQueryDisplayStx[] = {0x78, 0x31};
constexpr size_t kKeyboardAnswerCapacity = 512;

// One version query framed and judged in `framing` (which may differ from
// the connection's framing in pass-through mode).
std::string QueryVersion(ReaderChannel& channel, FrameProtocol framing, std::span<const uint8_t> stxData) {
  std::array<uint8_t, 64> frame{};
  size_t length = 0;
  if (framing == FrameProtocol::Stx) {
    std::copy(stxData.begin(), stxData.end(), frame.begin());
    length = BuildStxFrame(frame, stxData.size());
  } else {
    length = BuildHeaderFrameFor(frame, kVersionCommand, 0x00, {});
  }
  // Question, answer and what it says about the reader belong together.
  std::lock_guard lock(channel.ExchangeLock());
  // The exchange's own verdict is not used: the answer is judged here.
  ReaderAnswer answer =
      SendReaderCommand(channel, kGetFirmwareVersionName, std::span(frame.data(), length), ResponseWait::ReadOnce);
  DeviceInfo info = channel.deviceInfo();
  std::string text = JudgeVersionAnswer(info, answer.view(), framing);
  channel.setDeviceInfo(info);
  return text;
}

}  // namespace

std::string ReaderChannel::GetFirmwareVersion() { return QueryVersion(*this, frameProtocol(), kVersionQueryStx); }

std::string ReaderChannel::GetFirmwareVersionDisplay() {
  return QueryVersion(*this, frameProtocol(), kVersionQueryDisplayStx);
}

std::string ReaderChannel::GetFirmwareVersionPassThroughAware() {
  if (!deviceInfo().passThrough) return GetFirmwareVersion();
  return QueryVersion(*this, FrameProtocol::Stx, kVersionQueryStx);
}

std::string ReaderChannel::GetKeyboardVersion() {
  std::lock_guard lock(ExchangeLock());
  std::array<uint8_t, 8> request{};
  size_t requestLength = BuildKeyboardCommandFrame(kKeyboardVersionCommand, request);
  std::array<uint8_t, kKeyboardAnswerCapacity> answer{};
  size_t answerLength = answer.size();
  bool ok = hid().FeatureQuery(request.data(), requestLength, answer.data(), answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();
  std::string text = KeyboardAnswerText(ok, std::span<const uint8_t>(answer.data(), answerLength));
  DeviceInfo info = deviceInfo();
  info.bootloaderMode = false;
  if (ok && answerLength >= 5) info.versionText = text;
  setDeviceInfo(info);
  return text;
}

}  // namespace orvane
