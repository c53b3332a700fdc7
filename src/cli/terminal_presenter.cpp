#include "cli/terminal_presenter.h"

#include <algorithm>
#include <chrono>
#include <iostream>

#include "app/clock.h"
#include "cli/interrupt.h"
#include "cli/json_writer.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "update/update_engine.h"

namespace orvane::cli {
namespace {

constexpr const char* kProgramTitle = "Orvane Reader Bootload Software";
constexpr uint32_t kBlinkPeriodMs = 1000;
// Longest real wait between two looks at Ctrl+C, the time-out and the timer.
constexpr auto kPumpSlice = std::chrono::milliseconds(50);

const char* ColourName(Rgb colour) {
  if (colour == kRowBlue) return "blue";
  if (colour == kRowRed) return "red";
  return "other";
}

// A program text with "\r\n" line breaks as terminal lines, each made printable.
std::string PrintableLines(const std::string& text, const std::string& indent) {
  std::string out;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!out.empty()) out += "\n" + indent;
    out += Printable(line);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return out;
}

}  // namespace

TerminalPresenter::TerminalPresenter(ConsoleOutput& out, std::FILE* err, bool json, bool assumeYes)
    : out_(out), err_(err), json_(json), assumeYes_(assumeYes), presenterThread_(std::this_thread::get_id()) {}

void TerminalPresenter::SetModuleRows(const std::vector<ModuleRow>& rows) {
  std::lock_guard lock(stateMutex_);
  std::map<int, ModuleRow> fresh;
  for (const auto& r : rows) {
    ModuleRow& row = fresh[r.row] = r;
    // Keep the info text that the engine's listing gave the row.
    if (auto old = rows_.find(r.row); row.info.empty() && old != rows_.end()) row.info = old->second.info;
  }
  rows_ = std::move(fresh);
}

void TerminalPresenter::CheckRows(const std::set<int>& rows) {
  std::lock_guard lock(stateMutex_);
  checked_ = rows;
}

TerminalPresenter::PumpEnd TerminalPresenter::Pump(const std::function<bool()>& done,
                                                   std::optional<uint64_t> deadlineMs) {
  for (;;) {
    for (;;) {
      ViewMessage message;
      {
        std::lock_guard lock(queueMutex_);
        if (queue_.empty()) break;
        message = queue_.front();
        queue_.pop_front();
      }
      if (engine_) engine_->DeliverViewMessage(message);
    }
    if (InterruptRequested()) return PumpEnd::Interrupted;
    if (done() && QueueEmpty()) return PumpEnd::Done;
    const uint64_t now = TickMs();
    if (deadlineMs && now >= *deadlineMs) return PumpEnd::TimedOut;
    bool blink = false;
    {
      std::lock_guard lock(stateMutex_);
      if (blinking_ && now >= nextBlinkMs_) {
        nextBlinkMs_ = now + kBlinkPeriodMs;
        blink = true;
      }
    }
    if (blink && engine_) engine_->BlinkStatus();
    std::unique_lock lock(queueMutex_);
    queueCv_.wait_for(lock, std::min(kPumpSlice, std::chrono::milliseconds(std::max(OsWaitMs(kBlinkPeriodMs), 1))),
                      [&] { return !queue_.empty(); });
  }
}

std::optional<RunResult> TerminalPresenter::FinishedRun() const {
  std::lock_guard lock(stateMutex_);
  return finishedRun_;
}

bool TerminalPresenter::QueueEmpty() const {
  std::lock_guard lock(queueMutex_);
  return queue_.empty();
}

std::vector<ModuleRow> TerminalPresenter::Rows() const {
  std::lock_guard lock(stateMutex_);
  std::vector<ModuleRow> rows;
  for (const auto& entry : rows_) rows.push_back(entry.second);
  return rows;
}

std::string TerminalPresenter::TransferPosition() const {
  std::lock_guard lock(stateMutex_);
  if (progressRow_ < 0) return {};
  return RowName(progressRow_) + " at block " + std::to_string(meter_.blocksDone()) + " of " +
         std::to_string(meter_.totalBlocks()) + " (" + std::to_string(meter_.percent()) + "%)";
}

void TerminalPresenter::Note(const std::string& text) {
  if (!json_ && !quiet_) out_.Line(text);
}

std::string TerminalPresenter::RowName(int row) const {
  auto it = rows_.find(row);
  return it == rows_.end() ? "row " + std::to_string(row) : it->second.name;
}

void TerminalPresenter::Emit(const std::string& jsonObject, const std::string& textLine) {
  if (quiet_) return;
  if (json_) out_.Line(jsonObject);
  else if (!textLine.empty()) out_.Line(textLine);
}

// ---- threads and messages ----

bool TerminalPresenter::IsPresenterThread() const { return std::this_thread::get_id() == presenterThread_; }

void TerminalPresenter::PostViewMessage(const ViewMessage& message) {
  {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(message);
  }
  queueCv_.notify_all();
}

// ---- presenter thread ----

void TerminalPresenter::TransferToControls(const ViewSnapshot& snapshot) {
  {
    std::lock_guard lock(stateMutex_);
    if (snapshot.deviceInfoText == lastDeviceInfo_) return;
    lastDeviceInfo_ = snapshot.deviceInfoText;
  }
  JsonWriter json;
  json.BeginObject().Field("event", "device").Field("text", snapshot.deviceInfoText).EndObject();
  Emit(json.Text(), "Device: " + PrintableLines(snapshot.deviceInfoText, "        "));
}

void TerminalPresenter::ShowMessageBox(std::string_view text, std::string_view caption) {
  const std::string title(caption.empty() ? std::string_view(kProgramTitle) : caption);
  JsonWriter json;
  json.BeginObject().Field("event", "message").Field("caption", title).Field("text", text).EndObject();
  Emit(json.Text(), title + ": " + PrintableLines(std::string(text), "  "));
}

bool TerminalPresenter::ConfirmFileSelection(const std::string& text) {
  JsonWriter json;
  json.BeginObject().Field("event", "confirm").Field("text", text).Field("assumedYes", assumeYes_).EndObject();
  Emit(json.Text(), PrintableLines(text, ""));
  if (assumeYes_) return true;
  std::fputs("Continue with the update? [y/N] ", err_);
  std::fflush(err_);
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  const bool yes = answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
  if (!yes) Note("Not confirmed; nothing was sent to the reader.");
  return yes;
}

bool TerminalPresenter::IsRowChecked(int row) const {
  std::lock_guard lock(stateMutex_);
  return checked_.count(row) > 0;
}

void TerminalPresenter::SetRowChecked(int row, bool checked) {
  std::lock_guard lock(stateMutex_);
  if (checked) checked_.insert(row);
  else checked_.erase(row);
}

void TerminalPresenter::InsertRow(int row, std::string_view name, std::string_view info) {
  std::lock_guard lock(stateMutex_);
  ModuleRow& r = rows_[row];
  r.row = row;
  r.name = std::string(name);
  r.info = std::string(info);
}

void TerminalPresenter::DeleteAllRows() {
  std::lock_guard lock(stateMutex_);
  rows_.clear();
  checked_.clear();
}

// ---- any thread ----

void TerminalPresenter::StatusTextChanged(std::string_view text) {
  {
    std::lock_guard lock(stateMutex_);
    if (text == lastStatus_) return;
    lastStatus_ = std::string(text);
  }
  JsonWriter json;
  json.BeginObject().Field("event", "status").Field("text", text).EndObject();
  Emit(json.Text(), Printable(text));
}

void TerminalPresenter::ShowNotice(std::string_view text) {
  // Standard error in every mode: the notice is no part of the run's record.
  out_.EndBar();
  std::fprintf(err_, "%s: %s\n", kProgramName, std::string(text).c_str());
}

void TerminalPresenter::DeviceReadyChanged(bool ready) {
  JsonWriter json;
  json.BeginObject().Field("event", "ready").Field("ready", ready).EndObject();
  Emit(json.Text(), "");
}

void TerminalPresenter::ShowRowOutcome(int row, ModuleOutcome outcome) {
  const std::string_view text = ModuleOutcomeText(outcome);
  std::string name;
  {
    std::lock_guard lock(stateMutex_);
    name = RowName(row);
    if (progressActive_ && progressRow_ == row) progressActive_ = false;
  }
  out_.EndBar();
  JsonWriter json;
  json.BeginObject().Field("event", "row").Field("row", row).Field("name", name).Field("mark", text);
  json.Field("colour", ColourName(RowColour(outcome))).EndObject();
  Emit(json.Text(), Printable(name) + ": " + Printable(text));
}

void TerminalPresenter::StartRowProgress(int row) {
  std::lock_guard lock(stateMutex_);
  progressRow_ = row;
  progressActive_ = true;
  auto it = rows_.find(row);
  const ModuleRow module = it == rows_.end() ? ModuleRow{} : it->second;
  meter_.Start(Printable(RowName(row)), module.pieces, module.bytes, TickMs());
}

void TerminalPresenter::SetRowPercent(int row, int percent) {
  std::string jsonLine, bar, plain;
  {
    std::lock_guard lock(stateMutex_);
    if (row != progressRow_ || !meter_.Update(percent, TickMs())) return;
    JsonWriter json;
    json.BeginObject().Field("event", "progress").Field("row", row).Field("name", RowName(row));
    json.Field("percent", meter_.percent()).Field("blocks", meter_.blocksDone()).Field("total", meter_.totalBlocks());
    json.EndObject();
    jsonLine = json.Text();
    if (out_.terminal()) {
      bar = meter_.BarLine(out_.width());
    } else if (meter_.PlainLineDue()) {
      plain = meter_.PlainLine();
      meter_.PlainLinePrinted();
    }
  }
  if (quiet_) return;
  if (json_) out_.Line(jsonLine);
  else if (!bar.empty()) out_.Bar(bar);
  else if (!plain.empty()) out_.Line(plain);
}

void TerminalPresenter::StopRowProgress() {
  {
    std::lock_guard lock(stateMutex_);
    progressActive_ = false;
  }
  out_.EndBar();
}

void TerminalPresenter::SetStatusBlinking(bool blinking) {
  std::lock_guard lock(stateMutex_);
  // A switch on while already blinking restarts the period, as a timer's restart does.
  blinking_ = blinking;
  if (blinking) nextBlinkMs_ = TickMs() + kBlinkPeriodMs;
}

void TerminalPresenter::RunFinished(const RunResult& result) {
  std::lock_guard lock(stateMutex_);
  finishedRun_ = result;
}

}  // namespace orvane::cli
