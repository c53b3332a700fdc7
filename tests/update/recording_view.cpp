#include "update/recording_view.h"

#include <chrono>
#include <future>

#include "app/clock.h"

namespace orvane::test {

RecordingView::RecordingView() : thread_([this] { Run(); }) {}

RecordingView::~RecordingView() {
  Set(quit_, true);
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
  Invoke([&] { Set(engine_, engine); });
}

void RecordingView::Invoke(const std::function<void()>& work) {
  if (IsPresenterThread()) return work();
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
    UpdateEngine* engine = Get(engine_);
    Set(engine_, static_cast<UpdateEngine*>(nullptr));
    if (engine) engine->Shutdown();
  });
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

bool RecordingView::WaitForDelivered(ViewRefresh refresh, int count, int timeoutMs) {
  return WaitUntil([&] { return Delivered(ViewMessageKind::Refresh, refresh) >= count; }, timeoutMs);
}

int RecordingView::Delivered(ViewMessageKind kind, ViewRefresh refresh) const {
  return Get(delivered_)[{kind, refresh}];
}

std::vector<std::string> RecordingView::Args(const std::string& call) const {
  std::vector<std::string> args;
  for (const auto& [name, arg] : Get(calls_)) {
    if (name == call) args.push_back(arg);
  }
  return args;
}

std::vector<RowMark> RecordingView::RowMarks(int row) const {
  std::vector<RowMark> marks = Get(marks_);
  if (row >= 0) std::erase_if(marks, [&](const RowMark& mark) { return mark.row != row; });
  return marks;
}

void RecordingView::ClearRecords() {
  std::lock_guard lock(mutex_);
  calls_.clear();
  delivered_.clear();
  marks_.clear();
  percents_.clear();
}

void RecordingView::PostViewMessage(const ViewMessage& message) {
  {
    std::lock_guard lock(mutex_);
    postedAtMs_[message.kind] = TickMs();
    work_.push_back([this, message] {
      if (UpdateEngine* engine = Get(engine_)) engine->DeliverViewMessage(message);
      const ViewRefresh refresh = message.kind == ViewMessageKind::Refresh ? message.refresh : ViewRefresh::Controls;
      std::lock_guard inner(mutex_);
      ++delivered_[{message.kind, refresh}];
    });
  }
  changed_.notify_all();
}

void RecordingView::StatusTextChanged(std::string_view text) {
  Record("StatusTextChanged", std::string(text));
  if (auto hook = Get(statusHook_)) hook(std::string(text));
}

void RecordingView::SetRowChecked(int row, bool checked) {
  std::lock_guard lock(mutex_);
  calls_.emplace_back("SetRowChecked", "");
  checked ? (void)ticked_.insert(row) : (void)ticked_.erase(row);
}

void RecordingView::EnableInputs(OperatorInputs inputs, bool enabled) {
  std::lock_guard lock(mutex_);
  calls_.emplace_back("EnableInputs", "");
  state_.buttons = enabled;
  if (inputs == OperatorInputs::All) state_.list = enabled;
}

}  // namespace orvane::test
