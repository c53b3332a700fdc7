// The block queue: module pieces turned into finished frames, then sent one
// by one with resume, repeat and progress.

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "bootload/answer_judging.h"
#include "bootload/reader_channel.h"
#include "protocol/command_codes.h"

namespace orvane {
namespace {

constexpr char kBootloadBlockName[] = "BOOTLOAD_SEND_BLOCK";
constexpr char kUniAppBlockName[] = "UniAPP_SEND_BLOCK";

constexpr char kSucceeded[] = "\r\nBootload Succeeded! \r\n";
constexpr char kFailed[] = "Bootload Failed! \r\n";

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::array<uint8_t, 4> LowByteFirst(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

}  // namespace

void ReaderChannel::ClearQueue() {
  queue_.clear();
  queueSections_.clear();
  queuedCount_ = 0;
  refusedPiece_ = 0;
  wantedLength_ = 0;
  unreadPiece_ = 0;
  resumable_ = false;
}

bool ReaderChannel::QueueBlock(int pieceNumber, const char* name, uint32_t commandId, uint8_t subCommand,
                               const std::array<uint8_t, 4>& lead, const FirmwareSection& piece, bool stx) {
  // A longer piece would not fit the frame; sending the file without it would
  // leave a hole in the reader's image, so the run refuses the whole queue.
  if (piece.length() > kMaxPieceLength) {
    if (refusedPiece_ == 0) refusedPiece_ = pieceNumber;
    return false;
  }
  std::array<uint8_t, kCommandFrameCapacity> frame{};
  std::vector<uint8_t> data(lead.begin(), lead.end());
  data.insert(data.end(), piece.data.begin(), piece.data.end());
  size_t length = 0;
  if (stx) {
    std::copy(data.begin(), data.end(), frame.begin());
    bool ok = false;
    length = BuildStxCommandFrame(commandId, frame, data.size(), ok);
    if (!ok) return true;  // this command has no STX form: nothing to queue
  } else {
    length = BuildHeaderFrameFor(frame, kBootCommand, subCommand, data);
  }
  CommandRecord record;
  if (length == 0 || !record.Set(name, commandId, frame.data(), length)) return true;
  ++wantedLength_;
  if (!piece.loaded() && unreadPiece_ == 0) unreadPiece_ = pieceNumber;
  // Such a queue is refused by the run; holding it would only cost memory.
  if (!piece.loaded() || queue_.size() >= kMaxQueueLength) return true;
  queue_.push_back(record);
  queueSections_.push_back(piece.index);
  ++queuedCount_;
  return true;
}

bool ReaderChannel::QueueBootloadBlocks(const std::vector<FirmwareSection>& sections, int& count) {
  return QueueSections(sections, count, frameProtocol() == FrameProtocol::Stx);
}

bool ReaderChannel::QueueBootloadBlocksStx(const std::vector<FirmwareSection>& sections, int& count) {
  return QueueSections(sections, count, true);
}

bool ReaderChannel::QueueSections(const std::vector<FirmwareSection>& sections, int& count, bool stx) {
  ClearQueue();
  resumable_ = true;
  count = 0;
  bool allQueued = true;
  for (const FirmwareSection& section : sections) {
    ++count;
    allQueued &= QueueBlock(count, kBootloadBlockName, kBootloadBlockId, kBootloadBlockSub,
                            LowByteFirst(section.address), section, stx);
  }
  return allQueued;
}

bool ReaderChannel::QueueKernelBlocks(uint8_t moduleTag, const std::vector<FirmwareSection>& chunks, int& count) {
  bool stx = frameProtocol() == FrameProtocol::Stx;
  ClearQueue();
  count = 0;
  bool allQueued = true;
  for (const FirmwareSection& chunk : chunks) {
    ++count;
    const std::array<uint8_t, 4> lead = {moduleTag, 0x00, 0x00, 0x00};
    allQueued &= QueueBlock(count, kBootloadBlockName, kKernelBlockId, kKernelLoad.block, lead, chunk, stx);
  }
  return allQueued;
}

bool ReaderChannel::QueueUniAppBlocks(uint8_t moduleTag, const std::vector<FirmwareSection>& chunks, int& count) {
  bool stx = frameProtocol() == FrameProtocol::Stx;
  ClearQueue();
  count = 0;
  bool allQueued = true;
  for (const FirmwareSection& chunk : chunks) {
    const uint16_t chunkNumber = static_cast<uint16_t>(count);
    ++count;
    const std::array<uint8_t, 4> lead = {moduleTag, 0x00, static_cast<uint8_t>(chunkNumber >> 8),
                                         static_cast<uint8_t>(chunkNumber)};
    allQueued &= QueueBlock(count, kUniAppBlockName, kUniAppBlockId, kUniAppLoad.block, lead, chunk, stx);
  }
  return allQueued;
}

// The unanswered first send may only have been slow: then its answer came for
// the resend and the resend's own answer is still on its way. Left there, it
// would be read as the next command's answer and every later verdict would be
// one command behind. The later answer is the reader's last word on the
// block, so it replaces the earlier one; when none comes, the first send was
// lost and the answer stands.
void ReaderChannel::TakeSecondAnswer(const CommandRecord& record, std::span<uint8_t, kResponseBufferSize> answer,
                                     uint32_t& answerLength) {
  // A serial line keeps no message bounds: both answers may have come in one read.
  const std::span<uint8_t> received = answer.first(std::min<size_t>(answerLength, answer.size()));
  const size_t first = LeadingFrameLength(received, frameProtocol());
  if (first != 0 && first < received.size() && LeadingFrameLength(received.subspan(first), frameProtocol()) != 0) {
    std::copy(received.begin() + static_cast<std::ptrdiff_t>(first), received.end(), answer.begin());
    answerLength = static_cast<uint32_t>(received.size() - first);
    return;
  }
  std::array<uint8_t, kResponseBufferSize> second{};
  uint32_t secondLength = 0;
  ReaderStatus statusCode = 0;
  BeginLateAnswerText(record);
  const bool ok = AwaitAnswer(second.data(), secondLength, statusCode, ResponseWait::Poll,
                              HeaderFrameCommand(record.Frame()));
  if (secondLength == 0 && !ok) return;
  AppendExchangeToSession();
  std::copy(second.begin(), second.end(), answer.begin());
  answerLength = secondLength;
}

uint64_t ReaderChannel::ResumeBound() const {
  if (!resumable_ || settings().enableInterruptPointReserve != 1 || queueSections_.empty()) {
    return kFirstDataSectionIndex;
  }
  return ResumeSkipEnd(deviceInfo().stopPackage, queueSections_.back());
}

bool ReaderChannel::RunCommandQueue(const ProgressCallback& progress) { return RunQueue(progress, false); }

bool ReaderChannel::RunCommandQueueStx(const ProgressCallback& progress) { return RunQueue(progress, true); }

bool ReaderChannel::RunQueue(const ProgressCallback& progress, bool stxOnly) {
  std::string report;
  auto finish = [&](bool ok) {
    // Said in words, so that the operator knows why the reader stopped answering.
    if (!ok && LinkLost()) report += "\r\n" + LinkLossText() + "\r\n";
    AppendSessionText(report);
    return ok;
  };
  // Refused before anything is sent: an incomplete or oversized image must not
  // be half-written to the reader.
  if (refusedPiece_ != 0) {
    report =
        Format("\r\nPiece No.%d is longer than %zu bytes, the file cannot be sent. ", refusedPiece_, kMaxPieceLength);
    report += kFailed;
    return finish(false);
  }
  if (wantedLength_ > kMaxQueueLength) {
    report = Format("\r\nThe file needs %zu commands, more than %zu. ", wantedLength_, kMaxQueueLength);
    report += kFailed;
    return finish(false);
  }
  // The parser leaves a module unread only when it breaks one of the limits
  // above; should one slip through, its pieces are not there to send.
  if (unreadPiece_ != 0) {
    report = Format("\r\nPiece No.%d was not read, the file cannot be sent. ", unreadPiece_);
    report += kFailed;
    return finish(false);
  }
  const size_t length = queue_.size();

  const bool stxJudging = stxOnly || frameProtocol() == FrameProtocol::Stx;
  const uint64_t skipEnd = ResumeBound();
  std::vector<uint8_t> repeated(length, 0);
  std::array<uint8_t, kResponseBufferSize> answer{};

  for (size_t p = 0; p < length; ++p) {
    // Already on the reader. By section index, not by position: a module
    // without a preamble has its data blocks from position 0 on.
    if (queueSections_[p] >= kFirstDataSectionIndex && queueSections_[p] < skipEnd) continue;
    const int position = static_cast<int>(p + 1);
    for (;;) {
      if (progress) progress(position, queuedCount_);
      uint32_t answerLength = 0;
      ReaderStatus statusCode = 0;
      answer.fill(0);
      bool ok = ExchangeCommand(queue_[p], answer.data(), answerLength, statusCode, ResponseWait::Poll, false);
      if (answerLength == 0 && !ok) {
        report += kNoResponseLine;
        if (stxOnly) return finish(false);
        answer.fill(0);
        ok = ExchangeCommand(queue_[p], answer.data(), answerLength, statusCode, ResponseWait::Poll, false);
        if (answerLength == 0 && !ok) {
          report += kNoResponseLine;
          return finish(false);
        }
        AppendExchangeToSession();
        TakeSecondAnswer(queue_[p], answer, answerLength);
      } else {
        AppendExchangeToSession();
      }
      if (answerLength > answer.size()) answerLength = static_cast<uint32_t>(answer.size());
      std::span<const uint8_t> view(answer.data(), answerLength);

      if (stxJudging) {
        StxAnswer verdict = JudgeStxBlockAnswer(view);
        if (verdict == StxAnswer::Accepted) break;
        if (verdict == StxAnswer::NoAnswer) {
          report += kNoResponseLine;
          return finish(false);
        }
        if (verdict == StxAnswer::Nak) {
          report += StxErrorCodeText(view[4], view[5]);
          report += Format("Command No.%d Response Error. ", position);
        } else {
          report += Format("\r\nCommand No.%d Response Error. ", position);
        }
        report += kFailed;
        return finish(false);
      }

      uint8_t status = HeaderAnswerStatus(view);
      if (status == 0x00) break;
      if (repeated[p] == 0) {
        repeated[p] = 1;  // one more try of the same block
        continue;
      }
      report += HeaderErrorCodeText(status);
      return finish(false);
    }
  }
  report += kSucceeded;
  return finish(true);
}

}  // namespace orvane
