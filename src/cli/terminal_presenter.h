#pragma once
// The command line's UpdateView: the engine's messages are delivered on the
// main thread, and what the desktop program shows in widgets becomes lines
// (or JSON objects, one per line) on standard output: status texts and row
// marks as they change, the device information, message boxes, and a
// progress bar per module.

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "cli/console_output.h"
#include "cli/module_table.h"
#include "cli/progress_meter.h"
#include "update/update_view.h"

namespace orvane {
class UpdateEngine;
}

namespace orvane::cli {

class TerminalPresenter final : public UpdateView {
 public:
  TerminalPresenter(ConsoleOutput& out, std::FILE* err, bool json, bool assumeYes);

  void AttachEngine(UpdateEngine* engine) { engine_ = engine; }
  // Nothing of the run is printed (a command that prints one result at its end).
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // The module rows as the engine listed them (path, kind, size for the progress display).
  void SetModuleRows(const std::vector<ModuleRow>& rows);
  void CheckRows(const std::set<int>& rows);

  enum class PumpEnd { Done, Interrupted, TimedOut };
  // Delivers posted messages and blinks the status on this thread until
  // `done` holds with no message waiting, Ctrl+C, or program time `deadlineMs`.
  PumpEnd Pump(const std::function<bool()>& done, std::optional<uint64_t> deadlineMs);
  // The result of the update run, once the run has ended.
  std::optional<RunResult> FinishedRun() const;
  bool QueueEmpty() const;

  // The module rows, in row order.
  std::vector<ModuleRow> Rows() const;
  // Where a transfer stood: "demo_app.fm at block 13 of 25 (52%)"; empty when none ran.
  std::string TransferPosition() const;
  void Note(const std::string& text);  // a line of the command line's own (text mode only)

  // ---- UpdateView ----
  bool IsPresenterThread() const override;
  void PostViewMessage(const ViewMessage& message) override;
  void TransferToControls(const ViewSnapshot& snapshot) override;
  void ShowMessageBox(std::string_view text, std::string_view caption) override;
  bool ConfirmFileSelection(const std::string& text) override;
  bool IsRowChecked(int row) const override;
  void SetRowChecked(int row, bool checked) override;
  void InsertRow(int row, std::string_view name, std::string_view info) override;
  void DeleteAllRows() override;
  void RunFinished(const RunResult& result) override;
  void SetStatusBlinking(bool blinking) override;
  void StatusTextChanged(std::string_view text) override;
  void DeviceReadyChanged(bool ready) override;
  void ShowNotice(std::string_view text) override;
  void ShowRowOutcome(int row, ModuleOutcome outcome) override;
  void StartRowProgress(int row) override;
  void SetRowPercent(int row, int percent) override;
  void StopRowProgress() override;

 private:
  std::string RowName(int row) const;  // caller holds stateMutex_
  void Emit(const std::string& jsonObject, const std::string& textLine);

  ConsoleOutput& out_;
  std::FILE* err_;
  const bool json_;
  const bool assumeYes_;
  const std::thread::id presenterThread_;
  UpdateEngine* engine_ = nullptr;
  std::atomic<bool> quiet_{false};

  mutable std::mutex queueMutex_;
  std::condition_variable queueCv_;
  std::deque<ViewMessage> queue_;

  mutable std::mutex stateMutex_;  // everything below
  std::map<int, ModuleRow> rows_;
  std::set<int> checked_;
  std::string lastStatus_;
  std::string lastDeviceInfo_;
  int progressRow_ = -1;
  bool progressActive_ = false;
  ProgressMeter meter_;
  std::optional<RunResult> finishedRun_;
  bool blinking_ = false;
  uint64_t nextBlinkMs_ = 0;
};

}  // namespace orvane::cli
