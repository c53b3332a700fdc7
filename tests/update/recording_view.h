#pragma once
// A presenter for tests: records every call the engine makes and delivers the
// posted view messages on a thread of its own, as a window would.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "update/update_engine.h"
#include "update/update_view.h"

namespace orvane::test {

struct RowMark {
  int row = -1;
  std::string text;
  Rgb colour;
  friend bool operator==(const RowMark&, const RowMark&) = default;
};

class RecordingView final : public UpdateView, public DesktopViewPart {
 public:
  RecordingView();
  ~RecordingView() override;
  RecordingView(const RecordingView&) = delete;
  RecordingView& operator=(const RecordingView&) = delete;

  // Messages go to this engine; nullptr drops them (after a shutdown).
  void Attach(UpdateEngine* engine);
  // Runs `work` on the presenter thread and waits for it.
  void Invoke(const std::function<void()>& work);
  // Shuts the engine down on the presenter thread and detaches it.
  void ShutdownEngine();

  // ---- what the test sets ----
  void TickRow(int row, bool ticked = true);
  void SetConfirmAnswer(bool accept);
  // Called on the engine's thread whenever the status text changes, before
  // the engine goes on (lets a test act at a given step of a run).
  void SetStatusHook(std::function<void(const std::string&)> hook);

  // ---- waiting (real time, bounded; false when the time ran out) ----
  bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);
  // Until `count` messages of this kind (or refreshes of this kind) were delivered.
  bool WaitForDelivered(ViewMessageKind kind, int count = 1, int timeoutMs = 30000);
  bool WaitForDelivered(ViewRefresh refresh, int count = 1, int timeoutMs = 30000);
  int DeliveredCount(ViewMessageKind kind) const;
  int DeliveredCount(ViewRefresh refresh) const;

  // ---- the record ----
  std::vector<std::string> StatusTexts() const { return Locked(statusTexts_); }  // every change, in order
  // Program time at which a message of this kind was last posted; 0 when never.
  uint64_t PostedAtMs(ViewMessageKind kind) const;
  std::vector<RowMark> RowMarks() const { return Locked(marks_); }  // in order
  std::vector<RowMark> RowMarksOf(int row) const;
  RowMark LastRowMark(int row) const;  // row -1 when none
  // text, caption
  std::vector<std::pair<std::string, std::string>> MessageBoxes() const { return Locked(messageBoxes_); }
  std::vector<std::string> Notices() const { return Locked(notices_); }
  std::vector<RunResult> RunResults() const { return Locked(runResults_); }
  std::vector<std::string> Confirmations() const { return Locked(confirmations_); }
  std::vector<ViewSnapshot> Transfers() const { return Locked(transfers_); }
  std::vector<std::pair<int, int>> Percents() const { return Locked(percents_); }  // row, percent
  std::vector<std::string> Calls() const { return Locked(calls_); }  // one name per call, in order
  int CountCalls(const std::string& name) const;
  // The two folder buttons and Update; the file list and Select All.
  bool ButtonsEnabled() const { return Locked(buttonsEnabled_); }
  bool ListEnabled() const { return Locked(listEnabled_); }
  bool StatusBlinking() const { return Locked(blinking_); }
  bool ModelBoxShown() const { return Locked(modelBox_); }
  bool PortBoxShown() const { return Locked(portBox_); }
  bool ReadyPicture() const { return Locked(readyPicture_); }
  std::map<int, std::string> Rows() const { return Locked(rows_); }  // row -> name
  void ClearRecords();

  // ---- UpdateView ----
  DesktopViewPart* desktop() override { return this; }
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

  // ---- DesktopViewPart ----
  void ShowModelBox(bool shown) override;
  void ShowPortBox(bool shown) override;
  void WriteStatusLine(std::string_view text) override;
  void EnableInputs(OperatorInputs inputs, bool enabled) override;
  void RedrawRowProgress(int row) override;
  void EnsureRowVisible(int row) override;

 private:
  void Run();
  template <typename T>
  T Locked(const T& record) const {
    std::lock_guard lock(mutex_);
    return record;
  }
  // Notes the call and applies `change` under the lock.
  template <typename F>
  void Record(const char* call, F change) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(call);
    change();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> work_;
  bool quit_ = false;
  UpdateEngine* engine_ = nullptr;

  std::vector<std::string> calls_;
  std::vector<std::string> statusTexts_;
  std::vector<ViewMessage> delivered_;
  std::map<ViewMessageKind, uint64_t> postedAtMs_;
  std::vector<RowMark> marks_;
  std::vector<std::pair<std::string, std::string>> messageBoxes_;
  std::vector<std::string> notices_;
  std::vector<RunResult> runResults_;
  std::vector<std::string> confirmations_;
  std::vector<ViewSnapshot> transfers_;
  std::vector<std::pair<int, int>> percents_;
  std::map<int, std::string> rows_;
  std::set<int> ticked_;
  bool confirmAnswer_ = true;
  std::function<void(const std::string&)> statusHook_;
  bool buttonsEnabled_ = false;
  bool listEnabled_ = false;
  bool blinking_ = false;
  bool modelBox_ = false;
  bool portBox_ = false;
  bool readyPicture_ = false;

  std::thread thread_;  // last: started when everything above exists
};

}  // namespace orvane::test
