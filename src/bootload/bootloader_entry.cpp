// Asking a running application to restart into its bootloader, in the forms
// the different readers and links need, and switching pass-through mode.

#include <array>
#include <cstring>
#include <mutex>
#include <span>

#include "bootload/answer_judging.h"
#include "bootload/reader_channel.h"
#include "bootload/reader_command.h"
#include "protocol/command_codes.h"
#include "transport/hid_device.h"

namespace orvane {
namespace {

constexpr char kEnterBootLoaderName[] = "Enter Boot Loader";
constexpr char kEnterPassThroughName[] = "Enter Pass-Through mode";
constexpr char kExitPassThroughName[] = "Exit Pass-Through mode";
constexpr char kKeyboardEntryFailed[] = "\nError, enter the bootload mode failed!\n";

constexpr size_t kEntryPayloadLength = 15;
constexpr uint8_t kPreparationPayload[] = {0x25, 0x46, 0xB1, 0x01, 0x00, 0x10};
constexpr size_t kKeyboardAnswerCapacity = 1024;
// The keyboard interface takes the header entry frame with shorter pauses and
// a longer wait for its answer than the other feature exchanges.
constexpr HidDevice::FeaturePauses kKeyboardEntryPauses{
    .setRetryMs = 30, .settleMs = 30, .missPauseMs = 20, .maxMisses = 10};

// 0x78 0x46, the access code, eight zero bytes.
std::array<uint8_t, kEntryPayloadLength> EntryPayload() {
  std::array<uint8_t, kEntryPayloadLength> payload{};
  payload[0] = 0x78;
  payload[1] = 0x46;
  std::memcpy(payload.data() + 2, kBootloaderAccessCode, 5);
  return payload;
}

// The entry payload in an STX frame (21 bytes).
size_t EntryStxFrame(std::span<uint8_t> frame) {
  auto payload = EntryPayload();
  std::copy(payload.begin(), payload.end(), frame.begin());
  return BuildStxFrame(frame, payload.size());
}

// The header frame of the header form: the entry payload taken as the frame's
// payload under STX framing (27 bytes), C7 41 with no data under header framing
// (16 bytes).
size_t EntryHeaderFrame(std::span<uint8_t> frame, FrameProtocol framing) {
  if (framing == FrameProtocol::Header) return BuildHeaderFrameFor(frame, kBootCommand, kEnterBootloaderSub, {});
  auto payload = EntryPayload();
  std::copy(payload.begin(), payload.end(), frame.begin());
  return BuildHeaderFrame(frame, payload.size());
}

// Adds the text of an STX-judged entry answer behind the session text.
bool ReportStxEntry(ReaderChannel& channel, StxAnswer verdict, std::span<const uint8_t> answer) {
  switch (verdict) {
    case StxAnswer::Accepted:
      return true;
    case StxAnswer::Nak:
      channel.AppendSessionText(StxErrorCodeText(answer[4], answer[5]));
      return false;
    case StxAnswer::Other:
      return false;
    case StxAnswer::NoAnswer:
      channel.AppendSessionText(kNoResponseLine);
      return false;
  }
  return false;
}

// Judges a header answer: the status goes to the caller, a refusal's text
// behind the session text.
bool ReportHeaderEntry(ReaderChannel& channel, std::span<const uint8_t> answer, ReaderStatus& status) {
  const uint8_t headerStatus = HeaderAnswerStatus(answer);
  status = headerStatus;
  if (headerStatus == 0x00) return true;
  channel.AppendSessionText(HeaderErrorCodeText(headerStatus));
  return false;
}

bool SwitchPassThrough(ReaderChannel& channel, const char* name, uint8_t mode, ReaderStatus& status) {
  std::lock_guard lock(channel.ExchangeLock());
  std::array<uint8_t, 32> frame{};
  const uint8_t data[] = {mode};
  size_t length = BuildHeaderFrameFor(frame, kPassThroughCommand, kPassThroughSub, data);
  ReaderAnswer answer = SendReaderCommand(channel, name, std::span(frame.data(), length), ResponseWait::ReadOnce);
  channel.PrependExchangeToSession();
  if (!ReportHeaderEntry(channel, answer.view(), status)) return false;
  DeviceInfo info = channel.deviceInfo();
  info.passThrough = mode != 0;
  channel.setDeviceInfo(info);
  return true;
}

}  // namespace

bool ReconnectsAfterEntry(ConnectionKind kind) {
  return kind == ConnectionKind::Serial || kind == ConnectionKind::UsbHid || kind == ConnectionKind::TcpClient ||
         kind == ConnectionKind::TlsServer;
}

bool ReaderChannel::EnterBootLoaderStx() {
  std::array<uint8_t, 32> frame{};
  size_t length = EntryStxFrame(frame);
  ReaderAnswer answer =
      SendReaderCommand(*this, kEnterBootLoaderName, std::span(frame.data(), length), ResponseWait::Poll);
  PrependExchangeToSession();
  return ReportStxEntry(*this, JudgeStxEntryAnswer(answer.exchangeOk, answer.view()), answer.view());
}

bool ReaderChannel::EnterBootLoaderPreparation() {
  std::array<uint8_t, 32> frame{};
  std::copy(std::begin(kPreparationPayload), std::end(kPreparationPayload), frame.begin());
  size_t length = BuildStxFrame(frame, sizeof kPreparationPayload);
  ReaderAnswer answer =
      SendReaderCommand(*this, kEnterBootLoaderName, std::span(frame.data(), length), ResponseWait::SendOnly);
  PrependExchangeToSession();
  return answer.exchangeOk;
}

bool ReaderChannel::EnterBootLoaderHeader(ReaderStatus& status) {
  FrameProtocol framing = frameProtocol();
  std::array<uint8_t, 64> frame{};
  size_t length = EntryHeaderFrame(frame, framing);
  ReaderAnswer answer =
      SendReaderCommand(*this, kEnterBootLoaderName, std::span(frame.data(), length), ResponseWait::ReadOnce);
  PrependExchangeToSession();
  if (framing == FrameProtocol::Header) return ReportHeaderEntry(*this, answer.view(), status);
  status = HeaderAnswerStatus(answer.view());
  return ReportStxEntry(*this, JudgeStxEntryAnswer(answer.exchangeOk, answer.view()), answer.view());
}

bool ReaderChannel::EnterBootLoaderKeyboardStx() {
  std::array<uint8_t, 32> frame{};
  size_t length = EntryStxFrame(frame);
  std::array<uint8_t, kKeyboardAnswerCapacity> answer{};
  size_t answerLength = answer.size();
  bool ok = hid().FeatureCommand(frame.data(), length, answer.data(), answerLength);
  if (answerLength > answer.size()) answerLength = answer.size();
  std::span<const uint8_t> view(answer.data(), answerLength);
  return ReportStxEntry(*this, JudgeStxEntryAnswer(ok, view), view);
}

bool ReaderChannel::EnterBootLoaderKeyboardHeader() {
  std::array<uint8_t, 32> frame{};
  size_t length = BuildHeaderFrameFor(frame, kBootCommand, kEnterBootloaderSub, {});
  std::array<uint8_t, kKeyboardAnswerCapacity> answer{};
  size_t answerLength = answer.size();
  // The reader restarts at once; its answer, if any, says nothing more.
  if (hid().FeatureTransfer(frame.data(), length, answer.data(), answerLength, kKeyboardEntryPauses)) return true;
  AppendSessionText(kKeyboardEntryFailed);
  return false;
}

bool ReaderChannel::EnterPassThrough(ReaderStatus& status) {
  return SwitchPassThrough(*this, kEnterPassThroughName, 0x01, status);
}

bool ReaderChannel::ExitPassThrough(ReaderStatus& status) {
  return SwitchPassThrough(*this, kExitPassThroughName, 0x00, status);
}

EntryOutcome ReaderChannel::EnterBootLoaderByRoute(EntryRoute route) {
  ConnectionKind kind = connectionKind();
  if (route == EntryRoute::PassThrough) {
    ReaderStatus status = 0;
    if (!EnterPassThrough(status) && !EnterPassThrough(status)) return EntryOutcome::PassThroughRefused;
    if (deviceInfo().bootloaderMode) return EntryOutcome::AlreadyInBootloader;
    if (kind == ConnectionKind::Serial || kind == ConnectionKind::UsbHid || kind == ConnectionKind::TlsServer) {
      if (GetFirmwareVersionPassThroughAware().find(kBootloaderMarker) != std::string::npos) {
        return EntryOutcome::AlreadyInBootloader;
      }
      EnterBootLoaderPreparation();
      if (EnterBootLoaderStx() || EnterBootLoaderStx()) return EntryOutcome::Accepted;
      return EntryOutcome::Refused;
    }
    if (kind == ConnectionKind::UsbHidKeyboard) {
      return EnterBootLoaderKeyboardStx() ? EntryOutcome::Accepted : EntryOutcome::Refused;
    }
    return EntryOutcome::Refused;
  }

  DeviceInfo info = deviceInfo();
  if (info.bootloaderMode) return EntryOutcome::AlreadyInBootloader;
  bool accepted = false;
  if (ReconnectsAfterEntry(kind)) {
    ReaderStatus status = 0;
    accepted = info.keyboardMode ? EnterBootLoaderKeyboardHeader() : EnterBootLoaderHeader(status);
  } else if (kind == ConnectionKind::UsbHidKeyboard) {
    accepted = info.keyboardMode ? EnterBootLoaderKeyboardHeader() : EnterBootLoaderKeyboardStx();
  }
  return accepted ? EntryOutcome::Accepted : EntryOutcome::Refused;
}

}  // namespace orvane
