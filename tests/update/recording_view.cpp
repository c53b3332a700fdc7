#include "update/recording_view.h"

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
  if (ticked) {
    ticked_.insert(row);
  } else {
    ticked_.erase(row);
  }
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
  int count = 0;
  for (const ViewMessage& delivered : delivered_) count += delivered.kind == kind ? 1 : 0;
  return count;
}

int RecordingView::DeliveredCount(ViewRefresh refresh) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const ViewMessage& delivered : delivered_) {
    count += delivered.kind == ViewMessageKind::Refresh && delivered.refresh == refresh ? 1 : 0;
  }
  return count;
}

void RecordingView::Note(const std::string& call) {
  // mutex_ held by the caller
  calls_.push_back(call);
}

std::vector<std::string> RecordingView::StatusTexts() const {
  std::lock_guard lock(mutex_);
  return statusTexts_;
}

std::vector<ViewMessage> RecordingView::Delivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

std::vector<RowMark> RecordingView::RowMarks() const {
  std::lock_guard lock(mutex_);
  return marks_;
}

std::vector<RowMark> RecordingView::RowMarksOf(int row) const {
  std::lock_guard lock(mutex_);
  std::vector<RowMark> marks;
  for (const RowMark& mark : marks_) {
    if (mark.row == row) marks.push_back(mark);
  }
  return marks;
}

RowMark RecordingView::LastRowMark(int row) const {
  std::vector<RowMark> marks = RowMarksOf(row);
  return marks.empty() ? RowMark{} : marks.back();
}

std::vector<std::pair<std::string, std::string>> RecordingView::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

std::vector<std::string> RecordingView::Notices() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

std::vector<std::string> RecordingView::Confirmations() const {
  std::lock_guard lock(mutex_);
  return confirmations_;
}

std::vector<ViewSnapshot> RecordingView::Transfers() const {
  std::lock_guard lock(mutex_);
  return transfers_;
}

std::vector<std::string> RecordingView::StatusLineWrites() const {
  std::lock_guard lock(mutex_);
  return statusLineWrites_;
}

std::vector<std::pair<int, int>> RecordingView::Percents() const {
  std::lock_guard lock(mutex_);
  return percents_;
}

std::vector<std::string> RecordingView::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int RecordingView::CountCalls(const std::string& name) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const std::string& call : calls_) count += call == name ? 1 : 0;
  return count;
}

bool RecordingView::ButtonsEnabled() const {
  std::lock_guard lock(mutex_);
  return buttonsEnabled_;
}

bool RecordingView::ListEnabled() const {
  std::lock_guard lock(mutex_);
  return listEnabled_;
}

bool RecordingView::StatusBlinking() const {
  std::lock_guard lock(mutex_);
  return blinking_;
}

bool RecordingView::ModelBoxShown() const {
  std::lock_guard lock(mutex_);
  return modelBox_;
}

bool RecordingView::PortBoxShown() const {
  std::lock_guard lock(mutex_);
  return portBox_;
}

bool RecordingView::ReadyPicture() const {
  std::lock_guard lock(mutex_);
  return readyPicture_;
}

std::map<int, std::string> RecordingView::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
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
  statusLineWrites_.clear();
  percents_.clear();
}

uint64_t RecordingView::PostedAtMs(ViewMessageKind kind) const {
  std::lock_guard lock(mutex_);
  const auto found = postedAtMs_.find(kind);
  return found == postedAtMs_.end() ? 0 : found->second;
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

void RecordingView::TransferToControls(const ViewSnapshot& snapshot) {
  std::lock_guard lock(mutex_);
  Note("TransferToControls");
  transfers_.push_back(snapshot);
}

void RecordingView::ShowModelBox(bool shown) {
  std::lock_guard lock(mutex_);
  Note("ShowModelBox");
  modelBox_ = shown;
}

void RecordingView::WriteStatusLine(std::string_view text) {
  std::lock_guard lock(mutex_);
  Note("WriteStatusLine");
  statusLineWrites_.emplace_back(text);
}

void RecordingView::ShowMessageBox(std::string_view text, std::string_view caption) {
  std::lock_guard lock(mutex_);
  Note("ShowMessageBox");
  messageBoxes_.emplace_back(std::string(text), std::string(caption));
}

bool RecordingView::ConfirmFileSelection(const std::string& text) {
  std::lock_guard lock(mutex_);
  Note("ConfirmFileSelection");
  confirmations_.push_back(text);
  return confirmAnswer_;
}

bool RecordingView::IsRowChecked(int row) const {
  std::lock_guard lock(mutex_);
  return ticked_.count(row) > 0;
}

void RecordingView::SetRowChecked(int row, bool checked) {
  std::lock_guard lock(mutex_);
  Note("SetRowChecked");
  if (checked) {
    ticked_.insert(row);
  } else {
    ticked_.erase(row);
  }
}

void RecordingView::InsertRow(int row, std::string_view name, std::string_view /*info*/) {
  std::lock_guard lock(mutex_);
  Note("InsertRow");
  rows_[row] = std::string(name);
}

void RecordingView::DeleteAllRows() {
  std::lock_guard lock(mutex_);
  Note("DeleteAllRows");
  rows_.clear();
  ticked_.clear();
}

void RecordingView::ShowPortBox(bool shown) {
  std::lock_guard lock(mutex_);
  Note("ShowPortBox");
  portBox_ = shown;
}

void RecordingView::SetStatusHook(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(mutex_);
  statusHook_ = std::move(hook);
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

void RecordingView::ShowNotice(std::string_view text) {
  std::lock_guard lock(mutex_);
  Note("ShowNotice");
  notices_.emplace_back(text);
}

void RecordingView::DeviceReadyChanged(bool ready) {
  std::lock_guard lock(mutex_);
  Note("DeviceReadyChanged");
  readyPicture_ = ready;
}

void RecordingView::EnableInputs(OperatorInputs inputs, bool enabled) {
  std::lock_guard lock(mutex_);
  Note(enabled ? "EnableInputs" : "DisableInputs");
  buttonsEnabled_ = enabled;
  if (inputs == OperatorInputs::All) listEnabled_ = enabled;
}

void RecordingView::ShowRowOutcome(int row, ModuleOutcome outcome) {
  std::lock_guard lock(mutex_);
  Note("ShowRowOutcome");
  marks_.push_back(RowMark{row, ModuleOutcomeText(outcome), RowColour(outcome)});
}

void RecordingView::StartRowProgress(int /*row*/) {
  std::lock_guard lock(mutex_);
  Note("StartRowProgress");
}

void RecordingView::SetRowPercent(int row, int percent) {
  std::lock_guard lock(mutex_);
  Note("SetRowPercent");
  percents_.emplace_back(row, percent);
}

void RecordingView::RedrawRowProgress(int /*row*/) {
  std::lock_guard lock(mutex_);
  Note("RedrawRowProgress");
}

void RecordingView::StopRowProgress() {
  std::lock_guard lock(mutex_);
  Note("StopRowProgress");
}

void RecordingView::EnsureRowVisible(int /*row*/) {
  std::lock_guard lock(mutex_);
  Note("EnsureRowVisible");
}

std::vector<RunResult> RecordingView::RunResults() const {
  std::lock_guard lock(mutex_);
  return runResults_;
}

void RecordingView::RunFinished(const RunResult& result) {
  std::lock_guard lock(mutex_);
  Note("RunFinished");
  runResults_.push_back(result);
}

void RecordingView::SetStatusBlinking(bool blinking) {
  std::lock_guard lock(mutex_);
  Note(blinking ? "StartBlinking" : "StopBlinking");
  blinking_ = blinking;
}

}  // namespace orvane::test
