#pragma once
// ReaderChannel: the one connection to the card reader. It owns the
// connection state (kind, framing, HID channel flag, what the reader said
// about itself), the command exchange through which every command passes, the
// exchange texts, and the block-command queue. Its methods are spread over
// several source files of this folder by concern.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/bootload_settings.h"
#include "firmware/firmware_section.h"
#include "protocol/frames.h"

namespace orvane {

class HidDevice;
class SerialPort;
class NetworkLink;
struct PortInfo;

enum class ConnectionKind : int { None = 0, Serial = 1, UsbHid = 2, UsbHidKeyboard = 3, TcpClient = 4, TlsServer = 5 };

// How the exchange waits for the answer; every value above 1 polls.
enum class ResponseWait : int { SendOnly = 0, ReadOnce = 1, Poll = 5, PollLong = 15 };

inline constexpr size_t kResponseBufferSize = 1024;
inline constexpr size_t kCommandFrameCapacity = 1072;
// The limits by which the module parser judges what can be sent.
inline constexpr size_t kMaxQueueLength = kMaxSendablePieces;
inline constexpr size_t kMaxPieceLength = kMaxSendablePieceLength;

// The five-letter code that the reader's application expects before it
// restarts into its bootloader.
inline constexpr char kBootloaderAccessCode[6] = "ORVBL";

// One named, finished frame.
struct CommandRecord {
  char name[256] = {};
  uint32_t commandId = 0;
  uint32_t frameLength = 0;
  uint8_t frame[kCommandFrameCapacity] = {};

  // Fills name and frame; false (record unchanged) when the frame does not fit.
  bool Set(std::string_view displayName, uint32_t id, const uint8_t* bytes, size_t length);
  // The finished frame, never past the record's capacity.
  std::span<const uint8_t> Frame() const { return {frame, std::min<size_t>(frameLength, sizeof frame)}; }
};

// What the reader said about itself.
struct DeviceInfo {
  bool bootloaderMode = false;
  bool pciType = false;
  std::string versionText;  // at most 511 characters
  int32_t stopPackage = 0;
  bool keyboardMode = false;
  bool passThrough = false;
};

// How the update procedure asks for the bootloader: through pass-through mode
// (the "4710" model with the model box ticked) or directly.
enum class EntryRoute : int { PassThrough, Direct };

// What came of asking for the bootloader.
enum class EntryOutcome : int {
  AlreadyInBootloader,  // the reader runs its bootloader; no entry command was needed
  Accepted,             // an entry command was accepted; the reader restarts
  Refused,              // the entry command was refused, unanswered, or the link has no entry form
  PassThroughRefused,   // pass-through route only: pass-through mode was refused twice
};

// True when the reader comes back on a new connection after an accepted
// entry on this kind of link, so that the caller must find it again.
bool ReconnectsAfterEntry(ConnectionKind kind);

// A status the reader answered with, as the operations below hand it back:
// a header status byte (0xFF when no answer was parsed) or an exchange's
// status code.
using ReaderStatus = uint16_t;

// Called before a block command is sent: 1-based queue position and the queued count.
using ProgressCallback = std::function<void(int position, int total)>;

class ReaderChannel {
 public:
  ReaderChannel(const BootloadSettings& settings, HidDevice& hid, SerialPort& serial, NetworkLink& network);
  ReaderChannel(const ReaderChannel&) = delete;
  ReaderChannel& operator=(const ReaderChannel&) = delete;

  // ---- connection state (any thread) ----
  ConnectionKind connectionKind() const { return connectionKind_.load(); }
  void setConnectionKind(ConnectionKind kind) { connectionKind_.store(kind); }
  FrameProtocol frameProtocol() const { return frameProtocol_.load(); }
  void setFrameProtocol(FrameProtocol protocol) { frameProtocol_.store(protocol); }
  bool hidChannelOpen() const { return hidChannelOpen_.load(); }
  void setHidChannelOpen(bool open) { hidChannelOpen_.store(open); }
  DeviceInfo deviceInfo() const;
  void setDeviceInfo(const DeviceInfo& info);
  ReaderStatus lastStatusCode() const { return lastStatusCode_.load(); }
  const BootloadSettings& settings() const { return settings_; }
  HidDevice& hid() { return hid_; }
  SerialPort& serial() { return serial_; }
  NetworkLink& network() { return network_; }

  // ---- exchange texts (any thread) ----
  std::string ExchangeText() const;
  std::string SessionText() const;
  // out += SessionText, without a copy of the whole text in between: the
  // session text of a long transfer runs to megabytes.
  void AppendSessionTextTo(std::string& out) const;
  void SetSessionText(std::string text);
  void ClearSessionText();
  void AppendSessionText(std::string_view text);
  void PrependSessionText(std::string_view text);
  // SessionText = ExchangeText + SessionText (newest first).
  void PrependExchangeToSession();
  // SessionText += ExchangeText.
  void AppendExchangeToSession();

  // ---- the command exchange ----
  // Sends the record's frame through the open transport, collects and judges
  // the answer and writes the account of the exchange into ExchangeText.
  // responseBuffer holds at least kResponseBufferSize bytes.
  bool ExchangeCommand(const CommandRecord& record, uint8_t* responseBuffer, uint32_t& responseLength,
                       ReaderStatus& statusCode, ResponseWait wait, bool sendPreamble);
  // Waits for an answer without sending: the receive half of ExchangeCommand,
  // with the same waiting, checks and exchange text.
  // On a network link, a header answer that echoes a command other than
  // `requestCommand` is skipped.
  bool AwaitAnswer(uint8_t* responseBuffer, uint32_t& responseLength, ReaderStatus& statusCode, ResponseWait wait,
                   std::optional<uint8_t> requestCommand = std::nullopt);
  // Starts the exchange text for a second answer to `record`.
  void BeginLateAnswerText(const CommandRecord& record);
  int SendToReader(const uint8_t* bytes, size_t count, bool sendPreamble);
  // buffer of kResponseBufferSize bytes
  int ReceiveFromReader(uint8_t* buffer, std::optional<uint8_t> requestCommand = std::nullopt);
  // The open link ended under us (closed or reset by the reader, a serial line
  // hung up, a USB device gone): an answer wait ends at once.
  bool LinkLost() const;
  // Says in words which link was lost; empty while it is not.
  std::string LinkLossText() const;
  std::recursive_mutex& ExchangeLock() { return exchangeLock_; }

  // ---- connection and identification ----
  std::string GetFirmwareVersion();
  std::string GetFirmwareVersionDisplay();
  std::string GetFirmwareVersionPassThroughAware();
  std::string GetKeyboardVersion();
  bool ConnectUsbOrSerial(std::string& text);
  bool ConnectSerialOrUsb(std::string& text);
  bool ConnectTlsServer(std::string& text, int port, bool forceRestart);
  bool ConnectTcpClient(std::string& text, const std::string& address, int port, bool forceReconnect);
  // Fills the list of serial ports that the connect operations try, in order.
  // The system's listing unless replaced (before connecting) by another, such
  // as one port named by the operator or a pseudo-terminal in tests.
  using PortLister = std::function<void(std::vector<PortInfo>& ports)>;
  void SetPortLister(PortLister lister) { portLister_ = std::move(lister); }

  // ---- bootloader entry and pass-through ----
  bool EnterBootLoaderStx();
  bool EnterBootLoaderPreparation();
  bool EnterBootLoaderHeader(ReaderStatus& status);
  bool EnterBootLoaderKeyboardStx();
  bool EnterBootLoaderKeyboardHeader();
  bool EnterPassThrough(ReaderStatus& status);
  bool ExitPassThrough(ReaderStatus& status);
  // Sends the entry command that fits the route and the connection.
  EntryOutcome EnterBootLoaderByRoute(EntryRoute route);

  // ---- block queues and runs ----
  bool QueueBootloadBlocks(const std::vector<FirmwareSection>& sections, int& count);
  bool QueueBootloadBlocksStx(const std::vector<FirmwareSection>& sections, int& count);
  bool QueueKernelBlocks(uint8_t moduleTag, const std::vector<FirmwareSection>& chunks, int& count);
  bool QueueUniAppBlocks(uint8_t moduleTag, const std::vector<FirmwareSection>& chunks, int& count);
  bool RunCommandQueue(const ProgressCallback& progress);
  bool RunCommandQueueStx(const ProgressCallback& progress);
  size_t QueueLength() const { return queue_.size(); }
  const std::vector<CommandRecord>& Queue() const { return queue_; }

  // ---- kernel and UniApp commands ----
  bool BeginKernelLoad(ReaderStatus& status, uint8_t moduleTag, uint32_t fileLength, uint32_t fieldA, uint32_t fieldB);
  bool FinishKernelLoad(ReaderStatus& status, uint8_t moduleTag);
  bool BeginUniAppLoad(ReaderStatus& status, uint8_t moduleTag, uint32_t fileLength);
  bool FinishUniAppLoad(ReaderStatus& status, uint8_t moduleTag);

 private:
  const BootloadSettings& settings_;
  HidDevice& hid_;
  SerialPort& serial_;
  NetworkLink& network_;

  std::atomic<ConnectionKind> connectionKind_{ConnectionKind::None};
  std::atomic<FrameProtocol> frameProtocol_{FrameProtocol::Stx};
  std::atomic<bool> hidChannelOpen_{false};
  std::atomic<ReaderStatus> lastStatusCode_{0};

  mutable std::mutex stateMutex_;  // guards deviceInfo_
  DeviceInfo deviceInfo_;

  mutable std::mutex textMutex_;  // guards the two texts
  std::string exchangeText_;
  std::string sessionText_;

  std::recursive_mutex exchangeLock_;

  // Block queue: records in sending order and the count appended since the last clear.
  std::vector<CommandRecord> queue_;
  int queuedCount_ = 0;
  // 1-based number of the first piece the last builder refused as too long
  // (0: none); a run refuses such a queue, since the file is incomplete.
  int refusedPiece_ = 0;
  // Records the pieces make, held or not: past the largest queue, and for
  // pieces left unread in their file, they are counted but not kept, so that
  // a file that can never be sent costs no more than the largest queue.
  size_t wantedLength_ = 0;
  // 1-based number of the first piece whose bytes were never read (0: none).
  int unreadPiece_ = 0;
  // Section index of each record. Only a module's queue (application or
  // bootloader) resumes at the stop package: kernel and UniApp chunks are
  // counted from the file's start by the reader, whatever an earlier load left.
  std::vector<uint32_t> queueSections_;
  bool resumable_ = false;

  PortLister portLister_;  // empty: the system's listing

  void ClearQueue();
  // Appends the record of piece `pieceNumber` (1-based): the four lead bytes,
  // then the piece, framed. False when the piece is too long to send.
  bool QueueBlock(int pieceNumber, const char* name, uint32_t commandId, uint8_t subCommand,
                  const std::array<uint8_t, 4>& lead, const FirmwareSection& piece, bool stx);
  // Data blocks with a section index below this bound are on the reader already.
  uint64_t ResumeBound() const;
  bool ConnectNetwork(std::string& text, ConnectionKind kind, bool force, const std::function<bool()>& open);
  bool QueueSections(const std::vector<FirmwareSection>& sections, int& count, bool stx);
  bool RunQueue(const ProgressCallback& progress, bool stxOnly);
  // Adds the link-loss text to the exchange text when the link is lost.
  void NoteLinkLoss();
  int ReceiveNetworkAnswer(std::span<uint8_t> response, std::optional<uint8_t> requestCommand);
  void TakeSecondAnswer(const CommandRecord& record, std::span<uint8_t, kResponseBufferSize> answer,
                        uint32_t& answerLength);
};

}  // namespace orvane
