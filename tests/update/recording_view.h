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
#include <utility>
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

// What the presenter shows now.
struct ViewState {
  bool buttons = false;  // the two folder buttons and Update
  bool list = false;     // the file list and Select All
  bool blinking = false;
  bool modelBox = false;
};

class RecordingView final : public UpdateView, public DesktopViewPart {
 public:
  RecordingView();
  ~RecordingView() override;

  // Messages go to this engine; nullptr drops them (after a shutdown).
  void Attach(UpdateEngine* engine);
  // Runs `work` on the presenter thread and waits for it.
  void Invoke(const std::function<void()>& work);
  // Shuts the engine down on the presenter thread and detaches it.
  void ShutdownEngine();

  // ---- what the test sets ----
  void TickRow(int row, bool ticked = true) { SetRowChecked(row, ticked); }
  // Called on the engine's thread whenever the status text changes, before
  // the engine goes on (lets a test act at a given step of a run).
  void SetStatusHook(std::function<void(const std::string&)> hook) { Set(statusHook_, std::move(hook)); }

  // ---- waiting (real time, bounded; false when the time ran out) ----
  bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);
  // Until `count` refreshes of this kind were delivered.
  bool WaitForDelivered(ViewRefresh refresh, int count = 1, int timeoutMs = 30000);
  int Delivered(ViewMessageKind kind, ViewRefresh refresh = ViewRefresh::Controls) const;

  // ---- the record ----
  // The argument texts of every call of this name, in order (see the overrides).
  std::vector<std::string> Args(const std::string& call) const;
  int CountCalls(const std::string& call) const { return static_cast<int>(Args(call).size()); }
  // Program time at which a message of this kind was last posted; 0 when never.
  uint64_t PostedAtMs(ViewMessageKind kind) const { return Get(postedAtMs_)[kind]; }
  std::vector<RowMark> RowMarks(int row = -1) const;  // of one row, or all; in order
  std::vector<RunResult> RunResults() const { return Get(runResults_); }
  std::vector<std::pair<int, int>> Percents() const { return Get(percents_); }  // row, percent
  ViewState State() const { return Get(state_); }
  bool InputsEnabled() const { return State().buttons && State().list; }
  void ClearRecords();

  // ---- UpdateView ----
  DesktopViewPart* desktop() override { return this; }
  bool IsPresenterThread() const override { return std::this_thread::get_id() == thread_.get_id(); }
  void PostViewMessage(const ViewMessage& message) override;
  // The status text, with " !" when drawn for attention.
  void TransferToControls(const ViewSnapshot& snapshot) override {
    Record("TransferToControls", snapshot.statusText + (snapshot.attention ? " !" : ""));
  }
  void ShowMessageBox(std::string_view text, std::string_view caption) override {
    Record("ShowMessageBox", std::string(text) + "|" + std::string(caption));
  }
  bool ConfirmFileSelection(const std::string& text) override {
    Record("ConfirmFileSelection", text);
    return true;
  }
  bool IsRowChecked(int row) const override { return Get(ticked_).count(row) > 0; }
  void SetRowChecked(int row, bool checked) override;
  void InsertRow(int /*row*/, std::string_view name, std::string_view /*info*/) override {
    Record("InsertRow", std::string(name));
  }
  void DeleteAllRows() override { Record("DeleteAllRows", ticked_, std::set<int>{}); }
  void RunFinished(const RunResult& result) override { Record("RunFinished", runResults_, result); }
  void SetStatusBlinking(bool blinking) override { Record("SetStatusBlinking", state_.blinking, blinking); }
  void StatusTextChanged(std::string_view text) override;
  void DeviceReadyChanged(bool ready) override { Record("DeviceReadyChanged", ready ? "ready" : ""); }
  void ShowNotice(std::string_view text) override { Record("ShowNotice", std::string(text)); }
  void ShowRowOutcome(int row, ModuleOutcome outcome) override {
    Record("ShowRowOutcome", marks_, RowMark{row, ModuleOutcomeText(outcome), RowColour(outcome)});
  }
  void StartRowProgress(int /*row*/) override { Record("StartRowProgress", ""); }
  void SetRowPercent(int row, int percent) override { Record("SetRowPercent", percents_, std::pair{row, percent}); }
  void StopRowProgress() override { Record("StopRowProgress", ""); }

  // ---- DesktopViewPart ----
  void ShowModelBox(bool shown) override { Record("ShowModelBox", state_.modelBox, shown); }
  void ShowPortBox(bool shown) override { Record("ShowPortBox", shown ? "shown" : ""); }
  void WriteStatusLine(std::string_view text) override { Record("WriteStatusLine", std::string(text)); }
  void EnableInputs(OperatorInputs inputs, bool enabled) override;
  void RedrawRowProgress(int /*row*/) override { Record("RedrawRowProgress", ""); }
  void EnsureRowVisible(int /*row*/) override { Record("EnsureRowVisible", ""); }

 private:
  void Run();
  template <typename T>
  T Get(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  template <typename T>
  void Set(T& field, T value) {
    std::lock_guard lock(mutex_);
    field = std::move(value);
  }
  // Notes the call with its argument text.
  void Record(const char* call, std::string arg) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(call, std::move(arg));
  }
  // Notes the call and, under the same lock, adds `value` to the record `field`
  // or makes it the state `field`.
  template <typename T, typename V>
  void Record(const char* call, T& field, V value) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(call, "");
    if constexpr (std::is_same_v<T, V>) {
      field = std::move(value);
    } else {
      field.push_back(std::move(value));
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> work_;
  bool quit_ = false;
  UpdateEngine* engine_ = nullptr;

  std::vector<std::pair<std::string, std::string>> calls_;
  std::map<std::pair<ViewMessageKind, ViewRefresh>, int> delivered_;
  std::map<ViewMessageKind, uint64_t> postedAtMs_;
  std::vector<RowMark> marks_;
  std::vector<RunResult> runResults_;
  std::vector<std::pair<int, int>> percents_;
  std::set<int> ticked_;
  std::function<void(const std::string&)> statusHook_;
  ViewState state_;

  std::thread thread_;  // last: started when everything above exists
};

}  // namespace orvane::test
