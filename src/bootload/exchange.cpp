#include <cstring>
#include <span>

#include "app/clock.h"
#include "bootload/reader_channel.h"
#include "protocol/hex_text.h"
#include "protocol/status_messages.h"
#include "transport/hid_device.h"
#include "transport/network_link.h"
#include "transport/serial_port.h"

namespace orvane {

namespace {

constexpr int kPollAttempts = 25;
constexpr uint32_t kPollPauseMs = 10;
constexpr uint32_t kNetworkReadMs = 5000;
constexpr uint32_t kHidReportWaitMs = 1024;
constexpr uint32_t kHidRetryPauseMs = 300;
constexpr size_t kSerialPreambleLength = 100;
constexpr uint32_t kSerialPreamblePauseMs = 100;

constexpr char kExchangeRule[] = "\r\n======================\r\n";
constexpr char kNoResponse[] = "\r\nResponse: NULL\r\n";
constexpr char kResponseHeading[] = "\r\nResponse:\r\n";
constexpr char kErrorHeading[] = "\r\nERROR:\r\n";
constexpr char kNotStxNote[] = "\r\nRESP NOT TVK PROTOCOL:\r\n";
constexpr char kLateAnswerHeading[] = " (second answer):";
constexpr char kSkippedAnswerHeading[] = "\r\nAnswer to another command, skipped:\r\n";

bool IsNetwork(ConnectionKind kind) { return kind == ConnectionKind::TcpClient || kind == ConnectionKind::TlsServer; }

}  // namespace

bool ReaderChannel::ExchangeCommand(const CommandRecord& record, uint8_t* responseBuffer, uint32_t& responseLength,
                                    ReaderStatus& statusCode, ResponseWait wait, bool sendPreamble) {
  std::lock_guard exchange(exchangeLock_);
  const std::span<const uint8_t> frame = record.Frame();
  {
    std::string text = kExchangeRule;
    text.append(record.name, strnlen(record.name, sizeof record.name));
    text += ":\r\n";
    AppendHexSpaced(text, frame);
    std::lock_guard lock(textMutex_);
    exchangeText_ = std::move(text);
  }
  if (SendToReader(frame.data(), frame.size(), sendPreamble) <= 0) {
    NoteLinkLoss();
    return false;
  }
  if (wait == ResponseWait::SendOnly) return true;
  return AwaitAnswer(responseBuffer, responseLength, statusCode, wait, HeaderFrameCommand(frame));
}

bool ReaderChannel::LinkLost() const {
  if (IsNetwork(connectionKind())) return network_.Lost();
  if (hidChannelOpen()) return hid_.DeviceGone();
  return serial_.LineLost();
}

std::string ReaderChannel::LinkLossText() const {
  if (!LinkLost()) return {};
  switch (connectionKind()) {
    case ConnectionKind::TcpClient:
      return "The reader closed the TCP connection.";
    case ConnectionKind::TlsServer:
      return "The reader closed the TLS connection.";
    default:
      return hidChannelOpen() ? "The reader's USB device is gone." : "The reader's serial line is gone.";
  }
}

void ReaderChannel::NoteLinkLoss() {
  const std::string loss = LinkLossText();
  if (loss.empty()) return;
  std::lock_guard lock(textMutex_);
  exchangeText_ += "\r\n";
  exchangeText_ += loss;
  exchangeText_ += "\r\n";
}

void ReaderChannel::BeginLateAnswerText(const CommandRecord& record) {
  std::string text = kExchangeRule;
  text.append(record.name, strnlen(record.name, sizeof record.name));
  text += kLateAnswerHeading;
  std::lock_guard lock(textMutex_);
  exchangeText_ = std::move(text);
}

bool ReaderChannel::AwaitAnswer(uint8_t* responseBuffer, uint32_t& responseLength, ReaderStatus& statusCode,
                                ResponseWait wait, std::optional<uint8_t> requestCommand) {
  std::lock_guard exchange(exchangeLock_);
  const auto appendText = [this](std::string_view text) {
    std::lock_guard lock(textMutex_);
    exchangeText_ += text;
  };
  int received = 0;
  if (wait == ResponseWait::ReadOnce) {
    received = ReceiveFromReader(responseBuffer, requestCommand);
  } else {
    for (int attempt = 0; attempt < kPollAttempts; ++attempt) {
      SleepMs(kPollPauseMs);
      received = ReceiveFromReader(responseBuffer, requestCommand);
      // A TLS read already waited for the whole frame time; a lost link gives nothing more.
      if (received > 0 || connectionKind() == ConnectionKind::TlsServer || LinkLost()) break;
    }
  }
  if (received <= 0) {
    appendText(kNoResponse);
    NoteLinkLoss();
    return false;
  }
  const auto length = static_cast<uint32_t>(std::min<size_t>(static_cast<size_t>(received), kResponseBufferSize));
  const std::span<const uint8_t> response(responseBuffer, length);
  if (frameProtocol() == FrameProtocol::Header) {
    responseLength = length;
    return true;
  }

  uint16_t code = 0;
  const StxVerdict verdict = ValidateStxResponse(response, &code);
  const bool framed = verdict != StxVerdict::NotStx && response.front() == kStx && response.back() == kEtx;
  if (framed) {
    lastStatusCode_.store(code);
    statusCode = code;
  }
  if (verdict == StxVerdict::NotStx && length > 6) PrependSessionText(kNotStxNote);

  std::string text = kResponseHeading;
  AppendHexSpaced(text, response);
  responseLength = length;
  switch (verdict) {
    case StxVerdict::Ack:
    case StxVerdict::AckOnly:
    case StxVerdict::Malformed:
      appendText(text);
      return true;
    case StxVerdict::Nak:
      text += kErrorHeading;
      text += StatusMessage(lastStatusCode_.load(), FrameProtocol::Stx);
      appendText(text);
      return false;
    case StxVerdict::NotStx:
      break;
  }
  appendText(text);
  return false;
}

int ReaderChannel::SendToReader(const uint8_t* bytes, size_t count, bool sendPreamble) {
  if (IsNetwork(connectionKind())) return network_.Send(bytes, count);
  if (hidChannelOpen()) {
    if (frameProtocol() == FrameProtocol::Header) {
      return hid_.WriteSequencedReports(bytes, count) ? static_cast<int>(count) : 0;
    }
    // The reader may have re-enumerated since the last command; find it again first.
    return hid_.ReopenAndWriteCountedReports(bytes, count);
  }
  if (sendPreamble) {
    // Wakes a reader whose serial line sleeps.
    const uint8_t zeros[kSerialPreambleLength] = {};
    serial_.WritePort(zeros, sizeof zeros);
    SleepMs(kSerialPreamblePauseMs);
  }
  return serial_.WritePort(bytes, count);
}

int ReaderChannel::ReceiveFromReader(uint8_t* buffer, std::optional<uint8_t> requestCommand) {
  const std::span<uint8_t> response(buffer, kResponseBufferSize);
  if (IsNetwork(connectionKind())) return ReceiveNetworkAnswer(response, requestCommand);
  if (hidChannelOpen()) {
    const auto read = [&] {
      return frameProtocol() == FrameProtocol::Header ? hid_.ReadSequencedReports(response, kHidReportWaitMs)
                                                       : hid_.ReadCountedReports(response, kHidReportWaitMs);
    };
    size_t got = read();
    if (got == 0 && !hid_.DeviceGone()) {
      SleepMs(kHidRetryPauseMs);
      got = read();
    }
    return static_cast<int>(got);
  }
  return serial_.ReadPort(buffer, kResponseBufferSize);
}

// An answer that came after its own wait would otherwise be taken for the
// answer to this request, and every later verdict would be one behind.
// Whatever the link held before the request was dropped when it was sent;
// what still arrives for another command is skipped here.
int ReaderChannel::ReceiveNetworkAnswer(std::span<uint8_t> response, std::optional<uint8_t> requestCommand) {
  const uint64_t start = TickMs();
  for (;;) {
    const uint64_t elapsed = TickMs() - start;
    if (elapsed >= kNetworkReadMs) return 0;
    const size_t got = network_.ReadFrame(response, static_cast<uint32_t>(kNetworkReadMs - elapsed));
    if (got == 0) return 0;
    const std::span<const uint8_t> frame = response.first(got);
    const std::optional<uint8_t> echo = HeaderFrameCommand(frame);
    if (!requestCommand || !echo || *echo == *requestCommand) return static_cast<int>(got);
    std::string text = kSkippedAnswerHeading;
    AppendHexSpaced(text, frame);
    std::lock_guard lock(textMutex_);
    exchangeText_ += text;
  }
}

}  // namespace orvane
