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
  bool portBox = false;
  bool readyPicture = false;
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
  void TickRow(int row, bool ticked = true) { SetRowChecked(row, ticked); }
  void SetConfirmAnswer(bool accept) { Locked([&] { confirmAnswer_ = accept; }); }
  // Called on the engine's thread whenever the status text changes, before
  // the engine goes on (lets a test act at a given step of a run).
  void SetStatusHook(std::function<void(const std::string&)> hook) { Locked([&] { statusHook_ = std::move(hook); }); }

  // ---- waiting (real time, bounded; false when the time ran out) ----
  bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);
  // Until `count` refreshes of this kind (or messages of this kind) were delivered.
  bool WaitForDelivered(ViewRefresh refresh, int count = 1, int timeoutMs = 30000) {
    return WaitUntil([&] { return Delivered(ViewMessageKind::Refresh, refresh) >= count; }, timeoutMs);
  }
  bool WaitForDelivered(ViewMessageKind kind, int count = 1, int timeoutMs = 30000) {
    return WaitUntil([&] { return Delivered(kind, ViewRefresh::Controls) >= count; }, timeoutMs);
  }
  int Delivered(ViewMessageKind kind, ViewRefresh refresh) const {
    return Locked([&] { return delivered_.count({kind, refresh}) ? delivered_.at({kind, refresh}) : 0; });
  }

  // ---- the record ----
  // The argument texts of every call of this name, in order (see the overrides).
  std::vector<std::string> Args(const std::string& call) const;
  int CountCalls(const std::string& call) const { return static_cast<int>(Args(call).size()); }
  size_t AllCalls() const { return Locked([&] { return calls_.size(); }); }
  // Program time at which a message of this kind was last posted; 0 when never.
  uint64_t PostedAtMs(ViewMessageKind kind) const {
    return Locked([&] { return postedAtMs_.count(kind) ? postedAtMs_.at(kind) : 0; });
  }
  std::vector<RowMark> RowMarks(int row = -1) const;  // of one row, or all; in order
  std::vector<RunResult> RunResults() const { return Locked([&] { return runResults_; }); }
  std::vector<ViewSnapshot> Transfers() const { return Locked([&] { return transfers_; }); }
  std::vector<int> Percents() const { return Locked([&] { return percents_; }); }
  ViewState State() const { return Locked([&] { return state_; }); }
  bool InputsEnabled() const { return State().buttons && State().list; }
  void ClearRecords();

  // ---- UpdateView ----
  DesktopViewPart* desktop() override { return this; }
  bool IsPresenterThread() const override { return std::this_thread::get_id() == thread_.get_id(); }
  void PostViewMessage(const ViewMessage& message) override;
  void TransferToControls(const ViewSnapshot& snapshot) override {
    Record("TransferToControls", "", [&] { transfers_.push_back(snapshot); });
  }
  void ShowMessageBox(std::string_view text, std::string_view caption) override {
    Record("ShowMessageBox", std::string(text) + "|" + std::string(caption));
  }
  bool ConfirmFileSelection(const std::string& text) override {
    Record("ConfirmFileSelection", text);
    return Locked([&] { return confirmAnswer_; });
  }
  bool IsRowChecked(int row) const override { return Locked([&] { return ticked_.count(row) > 0; }); }
  void SetRowChecked(int row, bool checked) override {
    Record("SetRowChecked", "", [&] { checked ? (void)ticked_.insert(row) : (void)ticked_.erase(row); });
  }
  void InsertRow(int /*row*/, std::string_view name, std::string_view /*info*/) override {
    Record("InsertRow", std::string(name));
  }
  void DeleteAllRows() override { Record("DeleteAllRows", "", [&] { ticked_.clear(); }); }
  void RunFinished(const RunResult& result) override {
    Record("RunFinished", "", [&] { runResults_.push_back(result); });
  }
  void SetStatusBlinking(bool blinking) override { Record("SetStatusBlinking", "", [&] { state_.blinking = blinking; }); }
  void StatusTextChanged(std::string_view text) override;
  void DeviceReadyChanged(bool ready) override { Record("DeviceReadyChanged", "", [&] { state_.readyPicture = ready; }); }
  void ShowNotice(std::string_view text) override { Record("ShowNotice", std::string(text)); }
  void ShowRowOutcome(int row, ModuleOutcome outcome) override {
    Record("ShowRowOutcome", "", [&] { marks_.push_back({row, ModuleOutcomeText(outcome), RowColour(outcome)}); });
  }
  void StartRowProgress(int /*row*/) override { Record("StartRowProgress", ""); }
  void SetRowPercent(int row, int percent) override {
    Record("SetRowPercent", std::to_string(row), [&] { percents_.push_back(percent); });
  }
  void StopRowProgress() override { Record("StopRowProgress", ""); }

  // ---- DesktopViewPart ----
  void ShowModelBox(bool shown) override { Record("ShowModelBox", "", [&] { state_.modelBox = shown; }); }
  void ShowPortBox(bool shown) override { Record("ShowPortBox", "", [&] { state_.portBox = shown; }); }
  void WriteStatusLine(std::string_view text) override { Record("WriteStatusLine", std::string(text)); }
  void EnableInputs(OperatorInputs inputs, bool enabled) override {
    Record("EnableInputs", "", [&] {
      state_.buttons = enabled;
      if (inputs == OperatorInputs::All) state_.list = enabled;
    });
  }
  void RedrawRowProgress(int /*row*/) override { Record("RedrawRowProgress", ""); }
  void EnsureRowVisible(int /*row*/) override { Record("EnsureRowVisible", ""); }

 private:
  void Run();
  template <typename F>
  auto Locked(F read) const -> decltype(read()) {
    std::lock_guard lock(mutex_);
    return read();
  }
  // Notes the call with its argument text and applies `change` under the lock.
  void Record(const char* call, std::string arg, const std::function<void()>& change = [] {}) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(call, std::move(arg));
    change();
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
  std::vector<ViewSnapshot> transfers_;
  std::vector<int> percents_;
  std::set<int> ticked_;
  bool confirmAnswer_ = true;
  std::function<void(const std::string&)> statusHook_;
  ViewState state_;

  std::thread thread_;  // last: started when everything above exists
};

}  // namespace orvane::test
