// The begin and finish commands around a kernel or UniApp chunk run. They
// exist only in header framing.

#include <array>
#include <mutex>
#include <span>

#include "app/clock.h"
#include "bootload/answer_judging.h"
#include "bootload/reader_channel.h"
#include "bootload/reader_command.h"
#include "protocol/command_codes.h"
#include "transport/network_link.h"

namespace orvane {
namespace {

constexpr char kKernelCommandName[] = "Start Kernal Update";

// The reader is still storing the module.
constexpr uint8_t kStatusBusy = 0x63;
constexpr int kBusyWaits = 80;
constexpr uint32_t kBusyPauseMs = 500;
constexpr uint32_t kBusyReadWaitMs = 10000;

void PutLowByteFirst(uint8_t* out, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Sends one header command, puts its account in front of the session text and
// returns the header status of the answer (0xFF when none parsed).
uint8_t SendKernelCommand(ReaderChannel& channel, uint8_t subCommand, std::span<const uint8_t> data) {
  std::array<uint8_t, 64> frame{};
  size_t length = BuildHeaderFrameFor(frame, kBootCommand, subCommand, data);
  ReaderAnswer answer =
      SendReaderCommand(channel, kKernelCommandName, std::span(frame.data(), length), ResponseWait::ReadOnce);
  channel.PrependExchangeToSession();
  return HeaderAnswerStatus(answer.view());
}

bool Judge(ReaderChannel& channel, uint8_t status) {
  if (status == 0x00) return true;
  channel.AppendSessionText(HeaderErrorCodeText(status));
  return false;
}

// One read of a late answer into a buffer of kResponseBufferSize bytes. The network waits longer than an exchange does;
// the other links wait as their exchange reads do.
int ReadLateAnswer(ReaderChannel& channel, uint8_t* buffer) {
  std::lock_guard<std::recursive_mutex> lock(channel.ExchangeLock());
  ConnectionKind kind = channel.connectionKind();
  if (kind == ConnectionKind::TcpClient || kind == ConnectionKind::TlsServer) {
    return static_cast<int>(
        channel.network().ReadFrame(std::span<uint8_t>(buffer, kResponseBufferSize), kBusyReadWaitMs));
  }
  return channel.ReceiveFromReader(buffer);
}

}  // namespace

bool ReaderChannel::BeginKernelLoad(ReaderStatus& status, uint8_t moduleTag, uint32_t fileLength, uint32_t fieldA,
                                    uint32_t fieldB) {
  std::array<uint8_t, 12> data{};
  data[0] = moduleTag;
  PutLowByteFirst(&data[1], fileLength, 3);  // the reader takes three bytes of length here
  PutLowByteFirst(&data[4], fieldA, 4);
  PutLowByteFirst(&data[8], fieldB, 4);
  status = SendKernelCommand(*this, kKernelLoad.begin, data);
  return Judge(*this, static_cast<uint8_t>(status));
}

bool ReaderChannel::FinishKernelLoad(ReaderStatus& status, uint8_t moduleTag) {
  const uint8_t data[] = {moduleTag};
  status = SendKernelCommand(*this, kKernelLoad.finish, data);
  return Judge(*this, static_cast<uint8_t>(status));
}

bool ReaderChannel::BeginUniAppLoad(ReaderStatus& status, uint8_t moduleTag, uint32_t fileLength) {
  std::array<uint8_t, 5> data{};
  data[0] = moduleTag;
  PutLowByteFirst(&data[1], fileLength, 4);
  status = SendKernelCommand(*this, kUniAppLoad.begin, data);
  return Judge(*this, static_cast<uint8_t>(status));
}

bool ReaderChannel::FinishUniAppLoad(ReaderStatus& status, uint8_t moduleTag) {
  const uint8_t data[] = {moduleTag};
  status = SendKernelCommand(*this, kUniAppLoad.finish, data);
  if (status != kStatusBusy) return Judge(*this, static_cast<uint8_t>(status));

  std::array<uint8_t, kResponseBufferSize> answer{};
  for (int attempt = 0; attempt < kBusyWaits; ++attempt) {
    SleepMs(kBusyPauseMs);
    answer.fill(0);
    int received = ReadLateAnswer(*this, answer.data());
    if (received <= 0 && LinkLost()) break;
    if (received <= 0) continue;
    size_t length = std::min(static_cast<size_t>(received), answer.size());
    status = HeaderAnswerStatus(std::span<const uint8_t>(answer.data(), length));
    return status == 0x00;
  }
  return false;
}

}  // namespace orvane
