#include "bootload/answer_judging.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "protocol/status_messages.h"

namespace orvane {
namespace {

// Offsets in the data of a bootloader's version answer.
constexpr size_t kTypeCharOffset = 14;
constexpr size_t kStopPackageOffset = 24;
// The raw answer must be longer than this for the two fields to be read.
constexpr size_t kStxFieldsThreshold = 28;
constexpr size_t kHeaderFieldsThreshold = 21;

// The data read as a C string: up to the first zero byte, at most the
// capacity of the version text.
std::string DataAsText(std::span<const uint8_t> data) {
  size_t length = 0;
  while (length < data.size() && length < kVersionTextCapacity && data[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(data.data()), length);
}

// A byte of the data; bytes the answer did not carry read as zero, as they
// would from the zeroed answer buffer.
uint8_t DataByte(std::span<const uint8_t> data, size_t offset) { return offset < data.size() ? data[offset] : 0; }

void ApplyBootloaderFields(DeviceInfo& info, std::span<const uint8_t> data) {
  uint8_t type = DataByte(data, kTypeCharOffset);
  uint32_t raw = 0;
  for (size_t i = 0; i < 4; ++i) raw |= uint32_t{DataByte(data, kStopPackageOffset + i)} << (8 * i);
  int32_t number = static_cast<int32_t>(raw);
  switch (type) {
    case '1':
    case '2':
    case '4':
    case '6':
      info.pciType = true;
      break;
    case '0':
    case '3':
    case '5':
    case '7':
      info.pciType = false;
      break;
    default:
      break;  // unknown type: the earlier PCI verdict stands
  }
  info.stopPackage = info.pciType ? 0 : number;
  info.bootloaderMode = true;
}

std::string ApplyVersionData(DeviceInfo& info, std::span<const uint8_t> data, bool fieldsPresent) {
  std::string text = DataAsText(data);
  info.versionText = text;
  if (text.find(kBootloaderMarker) == std::string::npos) {
    info.bootloaderMode = false;
    return text;
  }
  if (fieldsPresent) ApplyBootloaderFields(info, data);
  return info.versionText;
}

}  // namespace

std::string JudgeVersionAnswer(DeviceInfo& info, std::span<const uint8_t> answer, FrameProtocol framing) {
  if (framing == FrameProtocol::Stx) {
    if (answer.size() <= 7 || answer[0] != kStx || answer[3] != kAck) return {};
    return ApplyVersionData(info, answer.subspan(4, answer.size() - 7), answer.size() > kStxFieldsThreshold);
  }
  std::array<uint8_t, kResponseBufferSize> data{};
  size_t length = ParseHeaderResponse(answer, data, nullptr);
  if (length == 0) {
    info.bootloaderMode = false;
    return {};
  }
  return ApplyVersionData(info, std::span<const uint8_t>(data.data(), length), answer.size() > kHeaderFieldsThreshold);
}

std::string KeyboardAnswerText(bool transportOk, std::span<const uint8_t> answer) {
  if (!transportOk || answer.size() < 5) return {};
  // The second non-zero byte from the end is the ETX of a well-formed answer
  // (the LRC comes after it); without an ETX it is the last text byte.
  size_t found = 0;
  size_t mark = answer.size();
  for (size_t i = answer.size(); i-- > 0;) {
    if (answer[i] != 0 && ++found == 2) {
      mark = i;
      break;
    }
  }
  if (found < 2) return {};
  size_t end = answer[mark] == kEtx ? mark : mark + 1;
  if (end <= 2) return {};
  return DataAsText(answer.subspan(2, end - 2));
}

bool NamesPassThroughModel(std::string_view versionText) {
  return versionText.size() > 1 && versionText.find("4710", 1) != std::string_view::npos;
}

StxAnswer JudgeStxEntryAnswer(bool exchangeOk, std::span<const uint8_t> answer) {
  if (answer.size() <= 5) return StxAnswer::NoAnswer;
  // The exchange (and the keyboard transfer) count a refusal as a failure;
  // it is still the reader's answer and is reported with its code.
  if (answer[3] == kNak) return StxAnswer::Nak;
  if (!exchangeOk) return StxAnswer::NoAnswer;
  if (answer[3] == kAck) return StxAnswer::Accepted;
  return StxAnswer::Other;
}

StxAnswer JudgeStxBlockAnswer(std::span<const uint8_t> answer) {
  if (answer.size() <= 5) return StxAnswer::NoAnswer;
  if (answer[3] == kAck && answer[4] == kAck && answer[5] == kAck) return StxAnswer::Accepted;
  if (answer[3] == kNak) return StxAnswer::Nak;
  return StxAnswer::Other;
}

uint8_t HeaderAnswerStatus(std::span<const uint8_t> answer) {
  uint8_t status = kHeaderStatusNone;
  std::array<uint8_t, kResponseBufferSize> data{};
  ParseHeaderResponse(answer, data, &status);
  return status;
}

std::string StxErrorCodeText(uint8_t high, uint8_t low) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%02X%02X. ", high, low);
  std::string text = "\r\nError Code:";
  text += code;
  text += StatusMessage(static_cast<uint16_t>(high << 8 | low), FrameProtocol::Stx);
  text += "\r\n";
  return text;
}

std::string HeaderErrorCodeText(uint8_t status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%02X. ", status);
  std::string text = "\r\nError Code:";
  text += code;
  text += StatusMessage(status, FrameProtocol::Header);
  text += "\r\n";
  return text;
}

uint64_t ResumeSkipEnd(int32_t stopPackage, uint32_t lastIndex) {
  if (stopPackage <= 0) return kFirstDataSectionIndex;
  const uint64_t end = uint64_t{kFirstDataSectionIndex} + static_cast<uint32_t>(stopPackage);
  if (end > lastIndex) return kFirstDataSectionIndex;
  return end;
}

}  // namespace orvane
