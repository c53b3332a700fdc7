#pragma once
// UpdateView: what the update engine needs from the screen. The desktop
// view and the command line implement it as thin presenters; the engine owns
// every value that is not a widget (flags, texts, lists) and hands the
// presenter snapshots of them.
//
// Threads. The presenter has one thread of its own (the user-interface
// thread of the desktop program). Methods marked "presenter thread" are only
// called there; all others may be called from the engine's worker threads as
// well and must hand the work over to the presenter's thread (or be safe to
// run anywhere).
//
// Messages. The engine never calls its own message handlers from a worker:
// it posts a ViewMessage, and the presenter, on its own thread and in the
// order of posting, hands each one back to UpdateEngine::DeliverViewMessage,
// as a window procedure would handle a posted window message. Every posted
// message must be delivered exactly once, or dropped only after the engine
// was shut down; none may be delivered once the engine is destroyed. The
// engine's shutdown calls no view operation of its own, so a presenter that
// owns the engine shuts it down first thing in its own destructor.

#include <cstdint>
#include <string>
#include <string_view>

#include "update/run_result.h"

namespace orvane {

// The view's messages. The values are the desktop program's message numbers
// (based on the first user message, 0x400).
enum class ViewMessageKind : uint32_t {
  UpdateFinished = 0x401,  // the run is over: the controls come back
  // A message box that a worker asks for: the presenter shows it on its own
  // thread, and the worker waits until it is dismissed.
  ShowMessageBox = 0x402,
  Refresh = 0x465,  // the view refresh, with one of the kinds below
};

// What a view refresh does after it shows or hides the model box. The values
// are the refresh message's sub-command numbers.
enum class ViewRefresh : int64_t {
  Controls = 0,          // move member values to the controls
  ControlsAgain = 1,     // the same
  ModelBox = 2,          // only show or hide the model box
  StartMonitor = 3,      // transfer, then start the presence monitor
  RestartDetection = 4,  // transfer, then start the detection again
  StartKernelStage = 5,  // transfer, then start the kernel and UniApp stage
};

struct ViewMessage {
  ViewMessageKind kind = ViewMessageKind::Refresh;
  ViewRefresh refresh = ViewRefresh::Controls;  // of a Refresh
  uint64_t sequence = 0;  // set by the engine; lets a sender wait for its own message
};

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kRowBlue{0, 0, 255};
inline constexpr Rgb kRowRed{255, 0, 0};
inline constexpr Rgb kStatusRed{255, 0, 0};
inline constexpr Rgb kStatusGreen{34, 177, 76};

// The controls that the engine enables and disables, as a bit set.
using ControlSet = uint32_t;
inline constexpr ControlSet kKernelPathButton = 1u << 0;    // 1077 "Reload Kernel File Path"
inline constexpr ControlSet kFirmwarePathButton = 1u << 1;  // 1215 "Reload Firmware File Path"
inline constexpr ControlSet kFileList = 1u << 2;            // 1072
inline constexpr ControlSet kSelectAllBox = 1u << 3;        // 1022 "Select All"
inline constexpr ControlSet kUpdateButton = 1u << 4;        // 1071 "Update"
// The three buttons that the detection disables and enables.
inline constexpr ControlSet kButtonControls = kKernelPathButton | kFirmwarePathButton | kUpdateButton;
// Everything that an update run disables.
inline constexpr ControlSet kUpdateControls = kButtonControls | kFileList | kSelectAllBox;

// The member values that a transfer moves into the controls.
struct ViewSnapshot {
  std::string statusText;
  std::string deviceInfoText;
  bool ready = false;      // a reader is connected and identified
  bool attention = false;  // draw the status red although a reader is ready
  bool busy = false;       // an update is under way
  Rgb statusColour = kStatusRed;
  bool modelBoxVisible = false;  // the reader reported the "4710" model
  bool modelBoxTicked = false;
  bool selectAll = false;
  int serverPort = 0;
};

class UpdateView {
 public:
  virtual ~UpdateView() = default;

  // ---- threads and messages ----
  virtual bool IsPresenterThread() const = 0;
  // Any thread. Queue the message for delivery on the presenter's thread.
  virtual void PostViewMessage(const ViewMessage& message) = 0;

  // ---- presenter thread ----
  virtual void TransferToControls(const ViewSnapshot& snapshot) = 0;
  virtual void ShowModelBox(bool shown) = 0;
  // The blinking status line writes straight into the control.
  virtual void WriteStatusLine(std::string_view text) = 0;
  // Modal message box; an empty caption means the program's title.
  virtual void ShowMessageBox(std::string_view text, std::string_view caption) = 0;
  // Modal file confirmation; true for "Continue".
  virtual bool ConfirmFileSelection(const std::string& text) = 0;
  virtual bool IsRowChecked(int row) const = 0;
  virtual void SetRowChecked(int row, bool checked) = 0;
  // The file list rows that the module discovery produces.
  virtual void InsertRow(int row, std::string_view name, std::string_view info) = 0;
  virtual void DeleteAllRows() = 0;
  // The port box (1082) and its label (1083) of the network interfaces.
  virtual void ShowPortBox(bool shown) = 0;

  // ---- any thread ----
  // The status text member changed. The screen shows it at the next transfer;
  // a presenter that reports every change (a log, the command line) hooks in here.
  virtual void StatusTextChanged(std::string_view text) { (void)text; }
  // News the operator must see without the run waiting for it (the log went
  // to the fallback folder): the desktop program shows a message box, the
  // command line writes it to standard error. Returns at once.
  virtual void ShowNotice(std::string_view text) = 0;
  virtual void ShowReadyPicture(bool ready) = 0;
  virtual void EnableControls(ControlSet controls, bool enabled) = 0;
  // Column 1 ("Status") of a row gets the text, drawn in the colour.
  virtual void SetRowMark(int row, std::string_view text, Rgb colour) = 0;
  // Drops every cell colour and empties column 1 of every row.
  virtual void ClearRowMarks() = 0;
  // The progress bar in column 1 of the row; percentages 0 to 100.
  virtual void StartRowProgress(int row) = 0;
  virtual void SetRowPercent(int row, int percent) = 0;
  virtual void RedrawRowProgress(int row) = 0;
  virtual void StopRowProgress() = 0;
  virtual void EnsureRowVisible(int row) = 0;
  // Timer 1: while it runs the presenter calls UpdateEngine::OnBlinkTimer on
  // its own thread every 1000 ms of program time (OsWaitMs(1000) real ms).
  virtual void StartBlinkTimer() = 0;
  virtual void StopBlinkTimer() = 0;

  // ---- presenter thread ----
  // An update run ended; called once per run, while the update-finished
  // message is handled.
  virtual void RunFinished(const RunResult& result) { (void)result; }
};

}  // namespace orvane
