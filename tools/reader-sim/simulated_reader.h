#pragma once
// SimulatedReader: the state and command handling of one card reader. It is
// fed whole request frames (the link runners cut them out of their byte
// streams) and says what the reader does about each: the answer, how long it
// takes, a late second answer, and whether the link drops. It keeps a record
// of everything received and sent, and the images that block commands
// delivered, for tests to inspect. Thread-safe: every method may be called
// from any thread.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "reader-sim/reader_options.h"

namespace orvane::sim {

using Bytes = std::vector<uint8_t>;

// What the reader does about one request.
struct ReaderReply {
  enum class After {
    Nothing,
    Reboot,    // after the answer the link drops; the reader comes back after the reboot delay
    DropLink,  // the link drops at once (no answer); the reader comes back after the reboot delay
  };
  Bytes answer;                // empty: the reader stays silent
  uint32_t answerDelayMs = 0;  // pause before the answer goes out
  Bytes followUp;              // a second answer, sent followUpDelayMs after the first
  uint32_t followUpDelayMs = 0;
  After after = After::Nothing;
};

struct TraceEntry {
  enum class Direction { Received, Sent };
  Direction direction = Direction::Received;
  Bytes bytes;
  uint64_t tickMs = 0;  // program time (TickMs) when it happened
};

// "RX 02 03 00 ..." or "TX ...".
std::string FormatTraceLine(const TraceEntry& entry);

// One load of a module file through block commands (header C7 43, STX 'B').
struct ReceivedLoad {
  std::map<uint32_t, Bytes> sections;  // by address; the trailer is at 0xFFFFFFFF
  uint32_t dataBlocks = 0;             // data blocks stored (preamble and trailer not counted)
  bool complete = false;               // the trailer arrived
};

// One kernel or UniApp load (begin, chunks, finish).
struct ReceivedModule {
  bool uniApp = false;
  uint8_t tag = 0;
  uint32_t announcedLength = 0;  // from the begin command
  Bytes data;                    // the chunks in order
  bool finished = false;         // the finish command was accepted
};

class SimulatedReader {
 public:
  explicit SimulatedReader(ReaderOptions options = {});
  SimulatedReader(const SimulatedReader&) = delete;
  SimulatedReader& operator=(const SimulatedReader&) = delete;

  // One whole request frame as it came off a serial, network or HID output
  // report link.
  ReaderReply HandleRequest(std::span<const uint8_t> frame);
  // The bytes collected from set-feature reports (keyboard-interface query,
  // keyboard entry forms); the answer goes back through get-feature reports.
  ReaderReply HandleFeatureRequest(std::span<const uint8_t> request);
  // The runners note every answer they actually put on the link.
  void RecordSent(std::span<const uint8_t> bytes);

  // State.
  ReaderMode Mode() const;
  void SetMode(ReaderMode mode);
  FrameProtocol Framing() const;
  void SetFraming(FrameProtocol framing);  // network runners force header framing
  bool PassThrough() const;
  uint32_t StopPackage() const;
  uint32_t Reboots() const;                // reboots and dropped links so far
  bool KeyboardInterfaceActive() const;    // keyboard interface and application running
  ReaderOptions Options() const;

  // The record (the newest 200000 entries).
  std::vector<TraceEntry> Trace() const;
  std::vector<Bytes> ReceivedFrames() const;
  std::vector<Bytes> SentAnswers() const;
  std::string TraceText() const;  // one FormatTraceLine per entry, each ending in "\n"
  void ClearTrace();
  // Called (outside the reader's lock) for every new trace entry.
  void SetTraceListener(std::function<void(const TraceEntry&)> listener);

  // What block commands delivered (the newest 32 loads of each kind).
  std::vector<ReceivedLoad> Loads() const;                 // every load begun, oldest first
  std::map<uint32_t, Bytes> BlockImage() const;            // sections of the latest load
  std::vector<ReceivedModule> Modules() const;             // kernel and UniApp loads, oldest first

 private:
  ReaderReply Handle(std::span<const uint8_t> frame);
  ReaderReply HandleHeader(std::span<const uint8_t> frame);
  ReaderReply HandleStx(std::span<const uint8_t> frame);
  ReaderReply HandleEntryHeaderFrame(std::span<const uint8_t> frame, bool answerInStx);
  ReaderReply HeaderCommand(uint8_t command, uint8_t sub, std::span<const uint8_t> data);
  ReaderReply StxCommand(std::span<const uint8_t> data);
  ReaderReply IdentificationAnswer(bool stxAnswer);
  ReaderReply EnterBootloader(bool accepted, bool stxAnswer);
  ReaderReply BootloadBlock(std::span<const uint8_t> data, bool stxAnswer);
  ReaderReply KernelCommand(uint8_t sub, std::span<const uint8_t> data);
  bool ApplyFault(uint32_t position, bool stxAnswer, uint8_t command, ReaderReply& reply);
  ReaderReply HeaderAnswer(uint8_t command, uint8_t status, std::span<const uint8_t> data = {}) const;
  ReaderReply StxAck(std::span<const uint8_t> result = {}) const;
  ReaderReply StxNak(uint16_t code) const;
  ReaderReply Refusal(bool stxAnswer, uint8_t command, uint16_t code) const;
  void Reboot(ReaderMode into);
  void FinishReply(ReaderReply& reply);
  void Note(TraceEntry::Direction direction, std::span<const uint8_t> bytes);

  mutable std::mutex mutex_;
  ReaderOptions options_;
  ReaderMode mode_;
  FrameProtocol framing_;
  bool passThrough_ = false;
  uint32_t stopPackage_;
  uint32_t reboots_ = 0;
  uint32_t answersMade_ = 0;
  bool garbleNext_ = false;
  std::vector<TraceEntry> trace_;
  std::function<void(const TraceEntry&)> listener_;
  std::vector<ReceivedLoad> loads_;
  std::vector<ReceivedModule> modules_;
  std::map<uint32_t, uint32_t> faultsFired_;  // block position -> times fired

  // Where the current module-file load stands.
  bool loadActive_ = false;
  bool loadHasPreamble_ = false;
  int64_t lastPosition_ = -1;  // position of the last stored section
  uint32_t lastAddress_ = 0;
  uint32_t blockSize_ = 0;     // learnt from the first data block
  uint32_t dataBase_ = 0;      // address of data block 0
  bool dataBaseKnown_ = false;
  // Kernel or UniApp load in progress (index into modules_, -1 none).
  int64_t moduleIndex_ = -1;
  uint32_t chunksStored_ = 0;
  size_t lastChunkLength_ = 0;
};

}  // namespace orvane::sim
