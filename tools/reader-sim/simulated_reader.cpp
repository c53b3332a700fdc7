#include "reader-sim/simulated_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/clock.h"
#include "protocol/hex_text.h"
#include "reader-sim/reader_answers.h"
#include "reader-sim/request_scanner.h"

namespace orvane::sim {
namespace {

// Header commands and sub-commands.
constexpr uint8_t kCmdIdentify = 0x29;
constexpr uint8_t kCmdBoot = 0xC7;
constexpr uint8_t kSubEnterBootloader = 0x41;
constexpr uint8_t kSubBlock = 0x43;
constexpr uint8_t kSubKernelBegin = 0x11;
constexpr uint8_t kSubKernelChunk = 0x14;
constexpr uint8_t kSubKernelFinish = 0x15;
constexpr uint8_t kSubUniAppBegin = 0x45;
constexpr uint8_t kSubUniAppChunk = 0x46;
constexpr uint8_t kSubUniAppFinish = 0x47;
constexpr uint8_t kCmdPassThrough = 0x63;
constexpr uint8_t kSubPassThrough = 0x02;
constexpr uint8_t kCmdEntry = 0x78;  // first byte of the entry and identification payloads
constexpr uint8_t kSubEntry = 0x46;

// Header status bytes.
constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusUnknownCommand = 0x02;
constexpr uint8_t kStatusUnknownSub = 0x03;
constexpr uint8_t kStatusCrcError = 0x04;
constexpr uint8_t kStatusBadParameter = 0x05;
constexpr uint8_t kStatusMalformed = 0x07;
constexpr uint8_t kStatusFailed = 0x0A;
constexpr uint8_t kStatusNotAllowed = 0x0B;
constexpr uint8_t kStatusBusy = 0x63;

// STX status codes after a NAK.
constexpr uint16_t kNakUnsupported = 0x6A00;
constexpr uint16_t kNakNotInThisState = 0x6A01;
constexpr uint16_t kNakBadParameter = 0x6B00;
constexpr uint16_t kNakBadLength = 0x6C00;  // also for wrong check bytes
constexpr uint16_t kNakWrongStep = 0x8200;

constexpr uint8_t kKeyboardVersionQuery = 0x22;
constexpr uint32_t kTrailerAddress = 0xFFFFFFFF;
constexpr size_t kEntryPayloadLength = 15;
constexpr uint8_t kPreparation[] = {0x25, 0x46, 0xB1, 0x01, 0x00, 0x10};

// A reader left running for hours (the demonstration) keeps the newest part
// of its record only.
constexpr size_t kTraceLimit = 200000;
constexpr size_t kKeptLoads = 32;

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool StartsWithHeaderTag(std::span<const uint8_t> frame) {
  return frame.size() >= sizeof kHeaderTag && std::memcmp(frame.data(), kHeaderTag, sizeof kHeaderTag) == 0;
}

bool HeaderCrcOk(std::span<const uint8_t> frame) {
  size_t n = frame.size() - 2;
  uint16_t crc = Crc16Ccitt(frame.data(), n);
  return frame[n] == (crc & 0xFF) && frame[n + 1] == (crc >> 8);
}

// The header-framed entry command carries the 15-byte entry payload in place
// of command, sub-command, length and data.
bool IsEntryHeaderFrame(std::span<const uint8_t> frame) {
  return frame.size() == kEntryPayloadLength + kHeaderOverhead && StartsWithHeaderTag(frame) &&
         frame[10] == kCmdEntry && frame[11] == kSubEntry;
}

bool IsStxFrame(std::span<const uint8_t> frame) {
  return frame.size() >= kStxOverhead && frame[0] == kStx && frame.back() == kEtx &&
         (size_t{frame[1]} | size_t{frame[2]} << 8) + kStxOverhead == frame.size();
}

bool IsKeyboardFrame(std::span<const uint8_t> frame) {
  return frame.size() >= 5 && frame[0] == kStx && frame[1] == 0x52 && frame[3] == kEtx &&
         frame[4] == (frame[0] ^ frame[1] ^ frame[2] ^ frame[3]);
}

}  // namespace

std::string FormatTraceLine(const TraceEntry& entry) {
  std::string line = entry.direction == TraceEntry::Direction::Received ? "RX " : "TX ";
  AppendHexSpaced(line, entry.bytes);
  return line;
}

SimulatedReader::SimulatedReader(ReaderOptions options)
    : options_(std::move(options)),
      mode_(options_.mode),
      framing_(options_.framing),
      stopPackage_(options_.stopPackage) {}

// ---- requests --------------------------------------------------------------

ReaderReply SimulatedReader::HandleRequest(std::span<const uint8_t> frame) {
  Note(TraceEntry::Direction::Received, frame);
  std::lock_guard lock(mutex_);
  ReaderReply reply;
  // The keyboard interface of a running application listens to feature
  // reports only.
  if (!(options_.keyboardInterface && mode_ == ReaderMode::Application)) reply = Handle(frame);
  FinishReply(reply);
  return reply;
}

ReaderReply SimulatedReader::HandleFeatureRequest(std::span<const uint8_t> request) {
  // Feature reports arrive zero-filled: take the frame at their start.
  long length = FrameLengthAt(request);
  std::span<const uint8_t> frame = request;
  if (IsKeyboardFrame(request)) {
    frame = request.first(5);
  } else if (length > 0 && static_cast<size_t>(length) <= request.size()) {
    frame = request.first(static_cast<size_t>(length));
  }
  Note(TraceEntry::Direction::Received, frame);

  std::lock_guard lock(mutex_);
  ReaderReply reply;
  if (!(options_.keyboardInterface && mode_ == ReaderMode::Application)) return reply;
  if (IsKeyboardFrame(frame)) {
    if (frame[2] == kKeyboardVersionQuery) {
      reply.answer = KeyboardAnswerFrame(kKeyboardVersionQuery, options_.keyboardAnswer);
    }
  } else if (IsEntryHeaderFrame(frame)) {
    reply = HandleEntryHeaderFrame(frame, true);
  } else if (StartsWithHeaderTag(frame) && frame.size() >= 16 && HeaderCrcOk(frame)) {
    // The keyboard interface understands the header-framed entry command.
    if (frame[10] == kCmdBoot && frame[11] == kSubEnterBootloader) reply = EnterBootloader(true, false);
  } else if (IsStxFrame(frame)) {
    std::span<const uint8_t> data = frame.subspan(3, frame.size() - kStxOverhead);
    if (data.size() == kEntryPayloadLength && data[0] == kCmdEntry && data[1] == kSubEntry) {
      reply = StxCommand(data);
    }
  }
  FinishReply(reply);
  return reply;
}

ReaderReply SimulatedReader::Handle(std::span<const uint8_t> frame) {
  bool speaksHeader = framing_ == FrameProtocol::Header || passThrough_;
  bool speaksStx = framing_ == FrameProtocol::Stx || passThrough_;
  if (IsEntryHeaderFrame(frame)) {
    // An STX reader answers this one header frame, in STX.
    return HandleEntryHeaderFrame(frame, framing_ == FrameProtocol::Stx);
  }
  if (StartsWithHeaderTag(frame) && frame.size() >= 16) return speaksHeader ? HandleHeader(frame) : ReaderReply{};
  if (IsStxFrame(frame)) return speaksStx ? HandleStx(frame) : ReaderReply{};
  return {};  // not a frame at all: line noise
}

ReaderReply SimulatedReader::HandleHeader(std::span<const uint8_t> frame) {
  uint8_t command = frame[10];
  if (!HeaderCrcOk(frame)) return HeaderAnswer(command, kStatusCrcError);
  size_t declared = size_t{frame[12]} << 8 | frame[13];
  if (declared + 16 != frame.size()) return HeaderAnswer(command, kStatusMalformed);
  return HeaderCommand(command, frame[11], frame.subspan(14, declared));
}

ReaderReply SimulatedReader::HandleEntryHeaderFrame(std::span<const uint8_t> frame, bool answerInStx) {
  if (!HeaderCrcOk(frame)) {
    return answerInStx ? StxNak(kNakBadLength) : HeaderAnswer(frame[10], kStatusCrcError);
  }
  std::span<const uint8_t> payload = frame.subspan(10, kEntryPayloadLength);
  bool codeOk = options_.accessCode.size() == 5 &&
                std::equal(payload.begin() + 2, payload.begin() + 7, options_.accessCode.begin()) &&
                std::all_of(payload.begin() + 7, payload.end(), [](uint8_t b) { return b == 0; });
  return EnterBootloader(codeOk, answerInStx);
}

ReaderReply SimulatedReader::HandleStx(std::span<const uint8_t> frame) {
  std::span<const uint8_t> data = frame.subspan(3, frame.size() - kStxOverhead);
  XorSum check = XorAndSum(data.data(), data.size());
  if (check.xorValue != frame[frame.size() - 3] || check.sum != frame[frame.size() - 2]) {
    return StxNak(kNakBadLength);
  }
  if (data.empty()) return StxNak(kNakBadLength);
  return StxCommand(data);
}

ReaderReply SimulatedReader::HeaderCommand(uint8_t command, uint8_t sub, std::span<const uint8_t> data) {
  switch (command) {
    case kCmdIdentify:
      return sub == 0x00 ? IdentificationAnswer(false) : HeaderAnswer(command, kStatusUnknownSub);
    case kCmdPassThrough: {
      if (options_.applicationVersion.find("4710") == std::string::npos) {
        return HeaderAnswer(command, kStatusUnknownCommand);  // only that model has the mode
      }
      if (sub != kSubPassThrough) return HeaderAnswer(command, kStatusUnknownSub);
      if (data.size() != 1 || data[0] > 1) return HeaderAnswer(command, kStatusBadParameter);
      passThrough_ = data[0] == 1;
      return HeaderAnswer(command, kStatusOk);
    }
    case kCmdBoot:
      switch (sub) {
        case kSubEnterBootloader:
          return EnterBootloader(true, false);
        case kSubBlock:
          return BootloadBlock(data, false);
        case kSubKernelBegin:
        case kSubKernelChunk:
        case kSubKernelFinish:
        case kSubUniAppBegin:
        case kSubUniAppChunk:
        case kSubUniAppFinish:
          return KernelCommand(sub, data);
        default:
          return HeaderAnswer(command, kStatusUnknownSub);
      }
    default:
      return HeaderAnswer(command, kStatusUnknownCommand);
  }
}

ReaderReply SimulatedReader::StxCommand(std::span<const uint8_t> data) {
  auto is = [&](std::initializer_list<uint8_t> bytes) {
    return data.size() == bytes.size() && std::equal(bytes.begin(), bytes.end(), data.begin());
  };
  if (is({kCmdEntry, kSubEntry, 0x01}) || is({kCmdEntry, 0x31})) return IdentificationAnswer(true);
  if (data.size() == kEntryPayloadLength && data[0] == kCmdEntry && data[1] == kSubEntry) {
    bool codeOk = options_.accessCode.size() == 5 &&
                  std::equal(data.begin() + 2, data.begin() + 7, options_.accessCode.begin()) &&
                  std::all_of(data.begin() + 7, data.end(), [](uint8_t b) { return b == 0; });
    return EnterBootloader(codeOk, true);
  }
  if (data.size() == sizeof kPreparation && std::equal(data.begin(), data.end(), kPreparation)) {
    return {};  // the application readies itself for the entry; it does not answer
  }
  if (data[0] == 0x42) return BootloadBlock(data.subspan(1), true);
  if (data[0] == kCmdEntry) return StxNak(kNakBadParameter);
  return StxNak(kNakUnsupported);
}

// ---- commands ----------------------------------------------------------------

ReaderReply SimulatedReader::IdentificationAnswer(bool stxAnswer) {
  Bytes data;
  if (mode_ == ReaderMode::Bootloader) {
    data = BootloaderVersionData(options_.typeChar, options_.bootloaderVersion,
                                 IsPciTypeChar(options_.typeChar) ? 0 : stopPackage_);
  } else {
    data.assign(options_.applicationVersion.begin(), options_.applicationVersion.end());
  }
  return stxAnswer ? StxAck(data) : HeaderAnswer(kCmdIdentify, kStatusOk, data);
}

ReaderReply SimulatedReader::EnterBootloader(bool accepted, bool stxAnswer) {
  if (!accepted) return stxAnswer ? StxNak(kNakBadParameter) : HeaderAnswer(kCmdBoot, kStatusBadParameter);
  ReaderReply reply = stxAnswer ? StxAck() : HeaderAnswer(kCmdBoot, kStatusOk);
  // A bootloader asked to enter itself just says yes.
  if (mode_ == ReaderMode::Application) {
    Reboot(ReaderMode::Bootloader);
    reply.after = ReaderReply::After::Reboot;
  }
  return reply;
}

ReaderReply SimulatedReader::BootloadBlock(std::span<const uint8_t> data, bool stxAnswer) {
  if (mode_ != ReaderMode::Bootloader) return Refusal(stxAnswer, kCmdBoot, kNakNotInThisState);
  if (data.size() < 4) return Refusal(stxAnswer, kCmdBoot, kNakBadLength);
  uint32_t address = Le32(data.data());
  std::span<const uint8_t> payload = data.subspan(4);
  ReceivedLoad* load = loadActive_ && !loads_.empty() ? &loads_.back() : nullptr;
  // The tool sends a section again when it missed or disliked the answer;
  // that includes the trailer of a load that has just completed.
  const ReceivedLoad* latest = loads_.empty() ? nullptr : &loads_.back();
  bool repeat = latest && address == lastAddress_ && latest->sections.count(address) &&
                (loadActive_ || (latest->complete && address == kTrailerAddress));

  // Work out where this section stands in its load; refuse what comes out of order.
  int64_t position = 0;
  bool startsLoad = false;
  uint32_t dataIndex = 0;
  if (repeat) {
    position = lastPosition_;
  } else if (address == 0) {
    startsLoad = true;
    position = 0;
  } else if (address == 1) {
    if (!load || lastPosition_ != 0) return Refusal(stxAnswer, kCmdBoot, kNakWrongStep);
    position = 1;
  } else if (address == kTrailerAddress) {
    if (!load || load->dataBlocks == 0) return Refusal(stxAnswer, kCmdBoot, kNakWrongStep);
    position = lastPosition_ + 1;
  } else {
    bool firstData = !load || load->dataBlocks == 0;
    if (!load) startsLoad = true;
    if (firstData) {
      // Continuing an interrupted load: the first data block is the one the
      // stop package names. Without a load seen earlier (a stop package given
      // as an option) the reader assumes the tool continues.
      bool continues = stopPackage_ > 0 &&
                       (!dataBaseKnown_ || (blockSize_ == payload.size() &&
                                            address == dataBase_ + stopPackage_ * blockSize_));
      dataIndex = continues ? stopPackage_ : 0;
    } else {
      uint32_t expected = lastAddress_ + blockSize_;
      if (address != expected) return Refusal(stxAnswer, kCmdBoot, kNakWrongStep);
      dataIndex = (address - dataBase_) / blockSize_;
    }
    bool preamble = startsLoad ? false : loadHasPreamble_;
    position = static_cast<int64_t>(dataIndex) + (preamble ? 2 : 0);
  }

  ReaderReply reply = stxAnswer ? StxAck(Bytes{kAck, kAck}) : HeaderAnswer(kCmdBoot, kStatusOk);
  if (ApplyFault(static_cast<uint32_t>(position) + 1, stxAnswer, kCmdBoot, reply)) return reply;

  // Store the section.
  if (startsLoad) {
    if (loads_.size() >= kKeptLoads) loads_.erase(loads_.begin());
    loads_.emplace_back();
    load = &loads_.back();
    loadActive_ = true;
    loadHasPreamble_ = address == 0;
  }
  if (!load) load = &loads_.back();  // a repeated trailer of a completed load
  bool isData = address > 1 && address != kTrailerAddress;
  if (isData && !repeat) {
    if (load->dataBlocks == 0) {
      blockSize_ = static_cast<uint32_t>(payload.size());
      dataBase_ = address - dataIndex * blockSize_;
      dataBaseKnown_ = true;
    }
    load->dataBlocks += 1;
    stopPackage_ = dataIndex + 1;
  }
  load->sections[address].assign(payload.begin(), payload.end());
  lastAddress_ = address;
  lastPosition_ = position;
  if (address == kTrailerAddress && !repeat) {
    load->complete = true;
    loadActive_ = false;
    stopPackage_ = 0;
    dataBaseKnown_ = false;
    if (options_.afterLoad == AfterLoad::RebootToApplication) {
      Reboot(ReaderMode::Application);
      reply.after = ReaderReply::After::Reboot;
    }
  }
  return reply;
}

ReaderReply SimulatedReader::KernelCommand(uint8_t sub, std::span<const uint8_t> data) {
  ReceivedModule* module = moduleIndex_ >= 0 ? &modules_[static_cast<size_t>(moduleIndex_)] : nullptr;
  bool uniApp = sub >= kSubUniAppBegin;
  auto status = [&](uint8_t s) { return HeaderAnswer(kCmdBoot, s); };
  switch (sub) {
    case kSubKernelBegin:
    case kSubUniAppBegin: {
      size_t expected = sub == kSubKernelBegin ? 12 : 5;
      if (data.size() != expected) return status(kStatusBadParameter);
      ReceivedModule fresh;
      fresh.uniApp = uniApp;
      fresh.tag = data[0];
      fresh.announcedLength = sub == kSubKernelBegin
                                  ? uint32_t{data[1]} | uint32_t{data[2]} << 8 | uint32_t{data[3]} << 16
                                  : Le32(data.data() + 1);
      if (modules_.size() >= kKeptLoads) modules_.erase(modules_.begin());
      modules_.push_back(std::move(fresh));
      moduleIndex_ = static_cast<int64_t>(modules_.size()) - 1;
      chunksStored_ = 0;
      lastChunkLength_ = 0;
      return status(kStatusOk);
    }
    case kSubKernelChunk:
    case kSubUniAppChunk: {
      if (!module || module->uniApp != uniApp) return status(kStatusNotAllowed);
      if (data.size() < 4 || data[0] != module->tag) return status(kStatusBadParameter);
      std::span<const uint8_t> chunk = data.subspan(4);
      uint32_t number = chunksStored_;
      bool repeat = false;
      if (uniApp) {
        number = uint32_t{data[2]} << 8 | data[3];
        repeat = chunksStored_ > 0 && number == chunksStored_ - 1;
        if (!repeat && number != chunksStored_) return status(kStatusBadParameter);
      }
      ReaderReply reply = status(kStatusOk);
      if (ApplyFault(number + 1, false, kCmdBoot, reply)) return reply;
      if (repeat) {
        module->data.resize(module->data.size() - lastChunkLength_);
      } else {
        ++chunksStored_;
      }
      module->data.insert(module->data.end(), chunk.begin(), chunk.end());
      lastChunkLength_ = chunk.size();
      return reply;
    }
    default: {  // finish
      if (!module || module->uniApp != uniApp) return status(kStatusNotAllowed);
      if (data.size() != 1 || data[0] != module->tag) return status(kStatusBadParameter);
      uint32_t expected = module->announcedLength;
      if (!uniApp) expected &= 0xFFFFFF;
      uint8_t verdict = module->data.size() == expected ? kStatusOk : kStatusFailed;
      module->finished = verdict == kStatusOk;
      moduleIndex_ = -1;
      if (uniApp && options_.finishBusyMs > 0) {
        // Storing the module takes a while: busy now, the verdict later.
        ReaderReply reply = status(kStatusBusy);
        reply.followUp = HeaderAnswerFrame(kCmdBoot, verdict);
        reply.followUpDelayMs = options_.finishBusyMs;
        return reply;
      }
      return status(verdict);
    }
  }
}

bool SimulatedReader::ApplyFault(uint32_t position, bool stxAnswer, uint8_t command, ReaderReply& reply) {
  for (const BlockFault& fault : options_.blockFaults) {
    if (fault.block != position) continue;
    uint32_t& fired = faultsFired_[position];
    if (!fault.always && fired > 0) continue;
    ++fired;
    switch (fault.kind) {
      case FaultKind::Refuse:
        if (stxAnswer) {
          reply = StxNak(fault.code);
        } else {
          // Header statuses are one byte; a two-byte code gives its high byte.
          uint8_t s = static_cast<uint8_t>(fault.code > 0xFF ? fault.code >> 8 : fault.code);
          reply = HeaderAnswer(command, s ? s : kStatusFailed);
        }
        return true;
      case FaultKind::Silent:
        reply = {};
        return true;
      case FaultKind::DropLink:
        reply = {};
        reply.after = ReaderReply::After::DropLink;
        ++reboots_;
        loadActive_ = false;
        moduleIndex_ = -1;
        return true;
      case FaultKind::Garble:
        garbleNext_ = true;
        return false;  // the section is stored; only its answer suffers
    }
  }
  return false;
}

// ---- answers -------------------------------------------------------------------

ReaderReply SimulatedReader::HeaderAnswer(uint8_t command, uint8_t status, std::span<const uint8_t> data) const {
  ReaderReply reply;
  reply.answer = HeaderAnswerFrame(command, status, data);
  return reply;
}

ReaderReply SimulatedReader::StxAck(std::span<const uint8_t> result) const {
  ReaderReply reply;
  reply.answer = StxAckFrame(result);
  return reply;
}

ReaderReply SimulatedReader::StxNak(uint16_t code) const {
  ReaderReply reply;
  reply.answer = StxNakFrame(code);
  return reply;
}

ReaderReply SimulatedReader::Refusal(bool stxAnswer, uint8_t command, uint16_t code) const {
  if (stxAnswer) return StxNak(code);
  // Header framing has one-byte statuses; map the STX codes the reader uses itself.
  uint8_t status;
  switch (code) {
    case kNakNotInThisState: status = kStatusNotAllowed; break;
    case kNakBadLength: status = kStatusMalformed; break;
    case kNakWrongStep: status = kStatusBadParameter; break;
    default: status = static_cast<uint8_t>(code & 0xFF); break;
  }
  return HeaderAnswer(command, status);
}

void SimulatedReader::Reboot(ReaderMode into) {
  mode_ = into;
  ++reboots_;
  loadActive_ = false;  // an unfinished load stays interrupted; the stop package tells how far it got
  moduleIndex_ = -1;
}

void SimulatedReader::FinishReply(ReaderReply& reply) {
  auto count = [&](Bytes& answer) {
    if (answer.empty()) return;
    ++answersMade_;
    if (answersMade_ == options_.garbleAnswerNo) GarbleAnswer(answer);
  };
  if (garbleNext_ && !reply.answer.empty()) GarbleAnswer(reply.answer);
  garbleNext_ = false;
  count(reply.answer);
  count(reply.followUp);
  if (!reply.answer.empty()) reply.answerDelayMs = options_.answerDelayMs;
}

// ---- state and record ------------------------------------------------------------

void SimulatedReader::RecordSent(std::span<const uint8_t> bytes) { Note(TraceEntry::Direction::Sent, bytes); }

void SimulatedReader::Note(TraceEntry::Direction direction, std::span<const uint8_t> bytes) {
  TraceEntry entry{direction, Bytes(bytes.begin(), bytes.end()), TickMs()};
  std::function<void(const TraceEntry&)> listener;
  {
    std::lock_guard lock(mutex_);
    if (trace_.size() >= kTraceLimit) trace_.erase(trace_.begin(), trace_.begin() + kTraceLimit / 10);
    trace_.push_back(entry);
    listener = listener_;
  }
  if (listener) listener(entry);
}

ReaderMode SimulatedReader::Mode() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

void SimulatedReader::SetMode(ReaderMode mode) {
  std::lock_guard lock(mutex_);
  mode_ = mode;
}

FrameProtocol SimulatedReader::Framing() const {
  std::lock_guard lock(mutex_);
  return framing_;
}

void SimulatedReader::SetFraming(FrameProtocol framing) {
  std::lock_guard lock(mutex_);
  framing_ = framing;
}

bool SimulatedReader::PassThrough() const {
  std::lock_guard lock(mutex_);
  return passThrough_;
}

uint32_t SimulatedReader::StopPackage() const {
  std::lock_guard lock(mutex_);
  return stopPackage_;
}

uint32_t SimulatedReader::Reboots() const {
  std::lock_guard lock(mutex_);
  return reboots_;
}

bool SimulatedReader::KeyboardInterfaceActive() const {
  std::lock_guard lock(mutex_);
  return options_.keyboardInterface && mode_ == ReaderMode::Application;
}

ReaderOptions SimulatedReader::Options() const {
  std::lock_guard lock(mutex_);
  return options_;
}

std::vector<TraceEntry> SimulatedReader::Trace() const {
  std::lock_guard lock(mutex_);
  return trace_;
}

std::vector<Bytes> SimulatedReader::ReceivedFrames() const {
  std::lock_guard lock(mutex_);
  std::vector<Bytes> frames;
  for (const TraceEntry& e : trace_) {
    if (e.direction == TraceEntry::Direction::Received) frames.push_back(e.bytes);
  }
  return frames;
}

std::vector<Bytes> SimulatedReader::SentAnswers() const {
  std::lock_guard lock(mutex_);
  std::vector<Bytes> answers;
  for (const TraceEntry& e : trace_) {
    if (e.direction == TraceEntry::Direction::Sent) answers.push_back(e.bytes);
  }
  return answers;
}

std::string SimulatedReader::TraceText() const {
  std::lock_guard lock(mutex_);
  std::string text;
  for (const TraceEntry& e : trace_) text += FormatTraceLine(e) + "\n";
  return text;
}

void SimulatedReader::ClearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

void SimulatedReader::SetTraceListener(std::function<void(const TraceEntry&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

std::vector<ReceivedLoad> SimulatedReader::Loads() const {
  std::lock_guard lock(mutex_);
  return loads_;
}

std::map<uint32_t, Bytes> SimulatedReader::BlockImage() const {
  std::lock_guard lock(mutex_);
  return loads_.empty() ? std::map<uint32_t, Bytes>{} : loads_.back().sections;
}

std::vector<ReceivedModule> SimulatedReader::Modules() const {
  std::lock_guard lock(mutex_);
  return modules_;
}

}  // namespace orvane::sim
