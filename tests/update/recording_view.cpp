#include "update/recording_view.h"

#include <algorithm>
#include <chrono>
#include <future>

#include "app/clock.h"

namespace orvane::test {

RecordingView::RecordingView() : thread_([this] { Run(); }) {}

RecordingView::~RecordingView() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void RecordingView::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return quit_ || !work_.empty(); });
    if (work_.empty()) return;  // quitting with nothing left to do
    std::function<void()> work = std::move(work_.front());
    work_.pop_front();
    lock.unlock();
    work();
    lock.lock();
    changed_.notify_all();
  }
}

void RecordingView::Attach(UpdateEngine* engine) {
  Invoke([&] {
    std::lock_guard lock(mutex_);
    engine_ = engine;
  });
}

void RecordingView::Invoke(const std::function<void()>& work) {
  if (IsPresenterThread()) {
    work();
    return;
  }
  std::promise<void> done;
  {
    std::lock_guard lock(mutex_);
    work_.push_back([&] {
      work();
      done.set_value();
    });
  }
  changed_.notify_all();
  done.get_future().wait();
}

void RecordingView::ShutdownEngine() {
  Invoke([&] {
    UpdateEngine* engine = nullptr;
    {
      std::lock_guard lock(mutex_);
      engine = engine_;
      engine_ = nullptr;
    }
    if (engine) engine->Shutdown();
  });
}

void RecordingView::TickRow(int row, bool ticked) {
  std::lock_guard lock(mutex_);
  if (ticked) ticked_.insert(row); else ticked_.erase(row);
}

void RecordingView::SetConfirmAnswer(bool accept) {
  std::lock_guard lock(mutex_);
  confirmAnswer_ = accept;
}

bool RecordingView::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  // Polls: the condition usually reads the engine, which has no notification.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(5));
  }
  return true;
}

bool RecordingView::WaitForDelivered(ViewMessageKind kind, int count, int timeoutMs) {
  return WaitUntil([&] { return DeliveredCount(kind) >= count; }, timeoutMs);
}

bool RecordingView::WaitForDelivered(ViewRefresh refresh, int count, int timeoutMs) {
  return WaitUntil([&] { return DeliveredCount(refresh) >= count; }, timeoutMs);
}

int RecordingView::DeliveredCount(ViewMessageKind kind) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(delivered_.begin(), delivered_.end(), [&](auto& m) { return m.kind == kind; }));
}

int RecordingView::DeliveredCount(ViewRefresh refresh) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(delivered_.begin(), delivered_.end(), [&](auto& m) {
    return m.kind == ViewMessageKind::Refresh && m.refresh == refresh;
  }));
}

std::vector<RowMark> RecordingView::RowMarksOf(int row) const {
  std::vector<RowMark> marks = RowMarks();
  std::erase_if(marks, [&](const RowMark& mark) { return mark.row != row; });
  return marks;
}

RowMark RecordingView::LastRowMark(int row) const {
  std::vector<RowMark> marks = RowMarksOf(row);
  return marks.empty() ? RowMark{} : marks.back();
}

int RecordingView::CountCalls(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), name));
}

void RecordingView::ClearRecords() {
  std::lock_guard lock(mutex_);
  calls_.clear();
  statusTexts_.clear();
  delivered_.clear();
  marks_.clear();
  messageBoxes_.clear();
  notices_.clear();
  confirmations_.clear();
  transfers_.clear();
  percents_.clear();
}

uint64_t RecordingView::PostedAtMs(ViewMessageKind kind) const {
  std::lock_guard lock(mutex_);
  const auto found = postedAtMs_.find(kind);
  return found == postedAtMs_.end() ? 0 : found->second;
}

void RecordingView::SetStatusHook(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(mutex_);
  statusHook_ = std::move(hook);
}

// ---- UpdateView ----

bool RecordingView::IsPresenterThread() const { return std::this_thread::get_id() == thread_.get_id(); }

void RecordingView::PostViewMessage(const ViewMessage& message) {
  {
    std::lock_guard lock(mutex_);
    postedAtMs_[message.kind] = TickMs();
    work_.push_back([this, message] {
      UpdateEngine* engine = nullptr;
      {
        std::lock_guard inner(mutex_);
        engine = engine_;
      }
      if (engine) engine->DeliverViewMessage(message);
      std::lock_guard inner(mutex_);
      delivered_.push_back(message);
    });
  }
  changed_.notify_all();
}

void RecordingView::StatusTextChanged(std::string_view text) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(mutex_);
    statusTexts_.emplace_back(text);
    hook = statusHook_;
  }
  if (hook) hook(std::string(text));
}

bool RecordingView::ConfirmFileSelection(const std::string& text) {
  bool accept = false;
  Record("ConfirmFileSelection", [&] {
    confirmations_.push_back(text);
    accept = confirmAnswer_;
  });
  return accept;
}

bool RecordingView::IsRowChecked(int row) const {
  std::lock_guard lock(mutex_);
  return ticked_.count(row) > 0;
}

void RecordingView::SetRowChecked(int row, bool checked) {
  Record("SetRowChecked", [&] {
    if (checked) ticked_.insert(row); else ticked_.erase(row);
  });
}

void RecordingView::TransferToControls(const ViewSnapshot& snapshot) {
  Record("TransferToControls", [&] { transfers_.push_back(snapshot); });
}
void RecordingView::ShowMessageBox(std::string_view text, std::string_view caption) {
  Record("ShowMessageBox", [&] { messageBoxes_.emplace_back(std::string(text), std::string(caption)); });
}
void RecordingView::InsertRow(int row, std::string_view name, std::string_view /*info*/) {
  Record("InsertRow", [&] { rows_[row] = std::string(name); });
}
void RecordingView::DeleteAllRows() {
  Record("DeleteAllRows", [&] {
    rows_.clear();
    ticked_.clear();
  });
}
void RecordingView::RunFinished(const RunResult& result) {
  Record("RunFinished", [&] { runResults_.push_back(result); });
}
void RecordingView::SetStatusBlinking(bool blinking) {
  Record(blinking ? "StartBlinking" : "StopBlinking", [&] { blinking_ = blinking; });
}
void RecordingView::DeviceReadyChanged(bool ready) {
  Record("DeviceReadyChanged", [&] { readyPicture_ = ready; });
}
void RecordingView::ShowNotice(std::string_view text) {
  Record("ShowNotice", [&] { notices_.emplace_back(text); });
}
void RecordingView::ShowRowOutcome(int row, ModuleOutcome outcome) {
  Record("ShowRowOutcome", [&] { marks_.push_back(RowMark{row, ModuleOutcomeText(outcome), RowColour(outcome)}); });
}
void RecordingView::StartRowProgress(int /*row*/) { Record("StartRowProgress", [] {}); }
void RecordingView::SetRowPercent(int row, int percent) {
  Record("SetRowPercent", [&] { percents_.emplace_back(row, percent); });
}
void RecordingView::StopRowProgress() { Record("StopRowProgress", [] {}); }

// ---- DesktopViewPart ----

void RecordingView::ShowModelBox(bool shown) {
  Record("ShowModelBox", [&] { modelBox_ = shown; });
}
void RecordingView::ShowPortBox(bool shown) {
  Record("ShowPortBox", [&] { portBox_ = shown; });
}
void RecordingView::WriteStatusLine(std::string_view /*text*/) { Record("WriteStatusLine", [] {}); }
void RecordingView::EnableInputs(OperatorInputs inputs, bool enabled) {
  Record(enabled ? "EnableInputs" : "DisableInputs", [&] {
    buttonsEnabled_ = enabled;
    if (inputs == OperatorInputs::All) listEnabled_ = enabled;
  });
}
void RecordingView::RedrawRowProgress(int /*row*/) { Record("RedrawRowProgress", [] {}); }
void RecordingView::EnsureRowVisible(int /*row*/) { Record("EnsureRowVisible", [] {}); }

}  // namespace orvane::test
