#pragma once
// UpdateView: what the update engine needs from the screen. The desktop
// view, the command line and the tests implement it as thin presenters; the
// engine owns every value that is not a widget (flags, texts, lists) and
// hands the presenter snapshots of them. The desktop program's own widgets
// (model box, port box, which inputs are usable) form an optional part.
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

// The operator's inputs that the engine takes away and gives back.
enum class OperatorInputs {
  Buttons,  // the two folder buttons and Update: what the detection holds back
  All,      // also the file list and Select All: what an update run holds back
};

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

class DesktopViewPart;

// The core: what every front end gives the engine.
class UpdateView {
 public:
  virtual ~UpdateView() = default;

  // The optional part of a front end with a form of its own; nullptr for
  // one without (the engine then leaves those things out).
  virtual DesktopViewPart* desktop() { return nullptr; }

  // ---- threads and messages ----
  virtual bool IsPresenterThread() const = 0;
  // Any thread. Queue the message for delivery on the presenter's thread.
  virtual void PostViewMessage(const ViewMessage& message) = 0;

  // ---- presenter thread ----
  // The status and device texts (and the rest of the member values).
  virtual void TransferToControls(const ViewSnapshot& snapshot) = 0;
  // Modal message box; an empty caption means the program's title.
  virtual void ShowMessageBox(std::string_view text, std::string_view caption) = 0;
  // Modal file confirmation; true for "Continue".
  virtual bool ConfirmFileSelection(const std::string& text) = 0;
  // The module rows that the discovery lists, with the operator's ticks.
  virtual bool IsRowChecked(int row) const = 0;
  virtual void SetRowChecked(int row, bool checked) = 0;
  virtual void InsertRow(int row, std::string_view name, std::string_view info) = 0;
  virtual void DeleteAllRows() = 0;
  // An update run ended; called once per run, while the update-finished
  // message is handled.
  virtual void RunFinished(const RunResult& result) { (void)result; }

  // ---- any thread ----
  // The status text member changed. The screen shows it at the next transfer;
  // a presenter that reports every change (a log, the command line) hooks in here.
  virtual void StatusTextChanged(std::string_view text) { (void)text; }
  // While the status blinks (no reader is ready yet), the presenter calls
  // UpdateEngine::BlinkStatus on its own thread every 1000 ms of program
  // time (OsWaitMs(1000) real ms).
  virtual void SetStatusBlinking(bool blinking) { (void)blinking; }
  // The reader became ready, or stopped being ready.
  virtual void DeviceReadyChanged(bool ready) { (void)ready; }
  // News the operator must see without the run waiting for it (the log went
  // to the fallback folder): the desktop program shows a message box, the
  // command line writes it to standard error. Returns at once.
  virtual void ShowNotice(std::string_view text) = 0;
  // What became of a module; its row shows ModuleOutcomeText in RowColour.
  virtual void ShowRowOutcome(int row, ModuleOutcome outcome) = 0;
  // A new run: every row loses its outcome.
  virtual void ClearRowOutcomes() {}
  // The transfer of a row's module; percentages 0 to 100.
  virtual void StartRowProgress(int row) = 0;
  virtual void SetRowPercent(int row, int percent) = 0;
  virtual void StopRowProgress() = 0;
};

// The desktop program's additions: things that only a form with these
// widgets shows.
class DesktopViewPart {
 public:
  virtual ~DesktopViewPart() = default;

  // ---- presenter thread ----
  // The "Q450" box, for readers of the "4710" model.
  virtual void ShowModelBox(bool shown) = 0;
  // The server port box and its label, for the network interfaces.
  virtual void ShowPortBox(bool shown) = 0;
  // The blinking status line writes straight into the status line.
  virtual void WriteStatusLine(std::string_view text) = 0;

  // ---- any thread ----
  virtual void EnableInputs(OperatorInputs inputs, bool enabled) = 0;
  // Draws the row's progress anew (after the percentage changed).
  virtual void RedrawRowProgress(int row) = 0;
  virtual void EnsureRowVisible(int row) = 0;
};

// The colour a row's outcome is drawn in.
inline Rgb RowColour(ModuleOutcome outcome) {
  return outcome == ModuleOutcome::Completed || outcome == ModuleOutcome::Suspended ? kRowBlue : kRowRed;
}

}  // namespace orvane
