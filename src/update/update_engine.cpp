// The engine's view state, its message protocol and its life cycle.

#include "update/update_engine.h"

#include <algorithm>
#include <chrono>

#include "app/clock.h"
#include "transport/hid_device.h"
#include "transport/network_link.h"
#include "transport/serial_port.h"
#include "update/format_text.h"
#include "update/update_texts.h"

namespace orvane {

// Hands the rows that the module discovery finds to the view.
class UpdateEngine::RowSink final : public ModuleRowSink {
 public:
  explicit RowSink(UpdateView& view) : view_(view) {}
  void InsertRow(int row, const std::string& name, const std::string& info) override {
    view_.InsertRow(row, name, info);
  }

 private:
  UpdateView& view_;
};

UpdateEngine::UpdateEngine(ReaderChannel& channel, UpdateView& view) : channel_(channel), view_(view) {
  g_nInterfaceKind.store(InterfaceUsbSerial);
  g_bModelVariant.store(false);
}

UpdateEngine::~UpdateEngine() { Shutdown(); }

// ---------------------------------------------------------------------------
// Presenter operations

void UpdateEngine::ApplyInterfaceChoice(std::optional<InterfaceKind> kind) {
  if (!kind) return;
  const BootloadSettings& settings = channel_.settings();
  switch (*kind) {
    case InterfaceTcpClient:
      g_nInterfaceKind.store(InterfaceTcpClient);
      serverPort_.store(settings.tcpServerPort);
      {
        std::lock_guard lock(textMutex_);
        serverAddress_ = settings.tcpServerIp;
      }
      ShowPortBox(true);
      break;
    case InterfaceTlsServer:
      g_nInterfaceKind.store(InterfaceTlsServer);
      serverPort_.store(settings.tlsServerPort);
      ShowPortBox(true);
      break;
    case InterfaceUsbSerial:
    default:
      g_nInterfaceKind.store(InterfaceUsbSerial);
      ShowPortBox(false);
      break;
  }
}

void UpdateEngine::InitFirmwareFolders(const std::string& programFolder) {
  RowSink sink(view_);
  std::lock_guard files(fileMutex_);
  std::lock_guard lists(listsMutex_);
  lists_.InitFirmwareFolders(programFolder, moduleFile_, sink);
}

void UpdateEngine::ChooseAppFolder(const std::string& folder) {
  RowSink sink(view_);
  view_.DeleteAllRows();
  {
    std::lock_guard files(fileMutex_);
    std::lock_guard lists(listsMutex_);
    lists_.ChooseAppFolder(folder, moduleFile_, sink);
  }
  TransferToControls();
}

void UpdateEngine::ChooseKernelFolder(const std::string& folder) {
  RowSink sink(view_);
  view_.DeleteAllRows();
  {
    std::lock_guard files(fileMutex_);
    std::lock_guard lists(listsMutex_);
    lists_.ChooseKernelFolder(folder, moduleFile_, sink);
  }
  TransferToControls();
}

void UpdateEngine::StartDetection() {
  if (Stopping()) return;
  EnableInputs(OperatorInputs::Buttons, false);
  TransferToControls();
  // The blinking first: a reader found at once stops it, and blinking started
  // after that would keep resetting the status line to "Device Ready".
  view_.SetStatusBlinking(true);
  // One detection at a time: a second start while one still searches would
  // only race it for the same reader.
  if (!detectionThread_.Running()) detectionThread_.Start([this] { DetectionThread(); });
}

void UpdateEngine::TransferToControls() { view_.TransferToControls(Snapshot()); }

void UpdateEngine::OnSelectAll(bool checked) {
  selectAll_.store(checked);
  int rows = 0;
  {
    std::lock_guard lock(listsMutex_);
    rows = lists_.listedFileCount;
  }
  for (int row = 0; row < rows; ++row) view_.SetRowChecked(row, checked);
}

void UpdateEngine::OnModelBox(bool ticked) { modelBoxTicked_.store(ticked); }

void UpdateEngine::BlinkStatus() {
  if (ready_.load()) {
    attention_.store(false);
    SetStatus(texts::kDeviceReady);
    return;
  }
  int phase = blinkPhase_.load();
  if (DesktopViewPart* desktop = view_.desktop()) desktop->WriteStatusLine(phase == 0 ? "" : texts::kDeviceNotReady);
  blinkPhase_.store(phase == 0 ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Messages

void UpdateEngine::Post(ViewMessageKind kind, ViewRefresh refresh) {
  if (Stopping()) return;
  ViewMessage posted{kind, refresh};
  {
    std::lock_guard lock(messageMutex_);
    posted.sequence = nextSequence_++;
  }
  view_.PostViewMessage(posted);
}

void UpdateEngine::Send(ViewMessageKind kind, ViewRefresh refresh) {
  if (Stopping()) return;
  ViewMessage sent{kind, refresh};
  if (view_.IsPresenterThread()) {
    Handle(sent);
    return;
  }
  {
    std::lock_guard lock(messageMutex_);
    sent.sequence = nextSequence_++;
  }
  view_.PostViewMessage(sent);
  std::unique_lock lock(messageMutex_);
  messageCv_.wait(lock, [&] { return deliveredSequence_ >= sent.sequence || stopping_.load(); });
}

void UpdateEngine::ShowMessageBoxAndWait(const std::string& text, const std::string& caption) {
  if (view_.IsPresenterThread()) {
    view_.ShowMessageBox(text, caption);
    return;
  }
  {
    std::lock_guard lock(messageMutex_);
    pendingBoxes_.emplace_back(text, caption);
  }
  Send(ViewMessageKind::ShowMessageBox);
}

void UpdateEngine::DeliverViewMessage(const ViewMessage& message) {
  if (!Stopping()) Handle(message);
  {
    std::lock_guard lock(messageMutex_);
    deliveredSequence_ = std::max(deliveredSequence_, message.sequence);
  }
  messageCv_.notify_all();
}

void UpdateEngine::Handle(const ViewMessage& message) {
  switch (message.kind) {
    case ViewMessageKind::UpdateFinished:
      HandleUpdateFinished();
      break;
    case ViewMessageKind::Refresh:
      HandleViewRefresh(message.refresh);
      break;
    case ViewMessageKind::ShowMessageBox: {
      std::pair<std::string, std::string> box;
      {
        std::lock_guard lock(messageMutex_);
        if (pendingBoxes_.empty()) return;
        box = std::move(pendingBoxes_.front());
        pendingBoxes_.pop_front();
      }
      view_.ShowMessageBox(box.first, box.second);
      break;
    }
  }
}

void UpdateEngine::HandleUpdateFinished() {
  busy_.store(false);
  EnableInputs(OperatorInputs::All, true);
  RunResult result;
  {
    std::lock_guard lock(resultMutex_);
    // A finish that no run posted (another sender of the message) has no result.
    if (!resultPending_) return;
    resultPending_ = false;
    result = result_;
  }
  view_.RunFinished(result);
}

void UpdateEngine::MarkRow(int row, ModuleOutcome outcome) {
  {
    std::lock_guard lock(resultMutex_);
    result_.SetOutcome(row, outcome);
  }
  view_.ShowRowOutcome(row, outcome);
}

void UpdateEngine::RecordRunEnd(RunEnd end, int stoppedAtRow) {
  std::lock_guard lock(resultMutex_);
  result_.end = end;
  result_.stoppedAtRow = stoppedAtRow;
}

void UpdateEngine::FinishRun(bool succeeded) {
  bool firmwareStage = false;
  {
    std::lock_guard lock(listsMutex_);
    firmwareStage = !bootList_.empty() || !appList_.empty();
  }
  const std::string status = statusText();
  {
    std::lock_guard lock(resultMutex_);
    result_.succeeded = succeeded;
    // The flag keeps an earlier run's value when this run had no first stage.
    result_.firmwareOk = !firmwareStage || firmwareOk_.load();
    result_.statusText = status;
    resultPending_ = true;
  }
  Post(ViewMessageKind::UpdateFinished);
}

void UpdateEngine::HandleViewRefresh(ViewRefresh refresh) {
  if (DesktopViewPart* desktop = view_.desktop()) desktop->ShowModelBox(g_bModelVariant.load());
  switch (refresh) {
    case ViewRefresh::Controls:
    case ViewRefresh::ControlsAgain:
      TransferToControls();
      break;
    // A start that was posted just before an update began arrives too late:
    // neither the monitor nor the detection may talk to the reader during a
    // run. Every run ends by clearing the busy flag before it posts these.
    case ViewRefresh::StartMonitor:
      TransferToControls();
      if (!busy_.load()) StartPresenceMonitor();
      break;
    case ViewRefresh::RestartDetection:
      TransferToControls();
      if (!busy_.load()) StartDetection();
      break;
    case ViewRefresh::StartKernelStage:
      TransferToControls();
      BeginKernelStage();
      break;
    case ViewRefresh::ModelBox:
    default:  // a number no refresh has does nothing more
      break;
  }
}

// ---------------------------------------------------------------------------
// State

ViewSnapshot UpdateEngine::Snapshot() const {
  ViewSnapshot snapshot;
  {
    std::lock_guard lock(textMutex_);
    snapshot.statusText = statusText_;
    snapshot.deviceInfoText = deviceInfoText_;
  }
  snapshot.ready = ready_.load();
  snapshot.attention = attention_.load();
  snapshot.busy = busy_.load();
  snapshot.statusColour = snapshot.ready && !snapshot.attention ? kStatusGreen : kStatusRed;
  snapshot.modelBoxVisible = g_bModelVariant.load();
  snapshot.modelBoxTicked = modelBoxTicked_.load();
  snapshot.selectAll = selectAll_.load();
  snapshot.serverPort = serverPort_.load();
  return snapshot;
}

std::string UpdateEngine::statusText() const {
  std::lock_guard lock(textMutex_);
  return statusText_;
}

std::string UpdateEngine::deviceInfoText() const {
  std::lock_guard lock(textMutex_);
  return deviceInfoText_;
}

std::string UpdateEngine::serverAddress() const {
  std::lock_guard lock(textMutex_);
  return serverAddress_;
}

void UpdateEngine::SetStatus(const std::string& text) {
  {
    std::lock_guard lock(textMutex_);
    statusText_ = text;
  }
  view_.StatusTextChanged(text);
}

void UpdateEngine::SetStatusAndAttention(const std::string& text, bool attention) {
  SetStatus(text);
  attention_.store(attention);
}

bool UpdateEngine::PassThroughCondition() const { return g_bModelVariant.load() && modelBoxTicked_.load(); }

bool UpdateEngine::WorkersRunning() const {
  return detectionThread_.Running() || monitorThread_.Running() || firmwareThread_.Running() || kernelThread_.Running();
}

bool UpdateEngine::UpdateRunning() const {
  return preparingUpdate_.load() || firmwareThread_.Running() || kernelThread_.Running();
}

ModuleLists UpdateEngine::Lists() const {
  std::lock_guard lock(listsMutex_);
  return lists_;
}

std::vector<ModuleFile> UpdateEngine::BootList() const {
  std::lock_guard lock(listsMutex_);
  return bootList_;
}

std::vector<ModuleFile> UpdateEngine::AppList() const {
  std::lock_guard lock(listsMutex_);
  return appList_;
}

std::vector<ModuleFile> UpdateEngine::KernelList() const {
  std::lock_guard lock(listsMutex_);
  return kernelList_;
}

std::vector<ModuleFile> UpdateEngine::UniAppList() const {
  std::lock_guard lock(listsMutex_);
  return uniAppList_;
}

void UpdateEngine::SetDeviceReady(bool ready) {
  ready_.store(ready);
  attention_.store(false);
  if (ready) SetStatus(texts::kDeviceReady);
  view_.DeviceReadyChanged(ready);
}

void UpdateEngine::RefreshDeviceInfo() {
  const DeviceInfo info = channel_.deviceInfo();
  std::string text;
  if (info.bootloaderMode) {
    text = texts::kBootloaderModePrefix;
    text += FormatText(texts::kVersionInfoFormat, info.versionText.c_str());
    text += info.pciType ? texts::kTypePci : texts::kTypeNonPci;
    if (channel_.settings().enableInterruptPointReserve == 1 && info.stopPackage > 0) {
      text += FormatText(texts::kStopPackageFormat, static_cast<int>(info.stopPackage));
    }
  } else if (!ready_.load()) {
    text = texts::kDeviceNotConnected;
  } else {
    std::string version = info.keyboardMode ? channel_.GetKeyboardVersion() : channel_.GetFirmwareVersionDisplay();
    text = texts::kApplicationModePrefix;
    text += FormatText(texts::kVersionInfoFormat, version.c_str());
  }
  std::lock_guard lock(textMutex_);
  deviceInfoText_ = std::move(text);
}

void UpdateEngine::EnableInputs(bool on) { EnableInputs(OperatorInputs::All, on); }

void UpdateEngine::EnableInputs(OperatorInputs inputs, bool on) {
  if (DesktopViewPart* desktop = view_.desktop()) desktop->EnableInputs(inputs, on);
}

void UpdateEngine::ShowPortBox(bool shown) {
  if (DesktopViewPart* desktop = view_.desktop()) desktop->ShowPortBox(shown);
}

void UpdateEngine::OnProgress(int done, int total) {
  // A transfer without pieces has no percentage to show.
  if (total <= 0) return;
  const int percent = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
  const int row = currentRow_.load();
  DesktopViewPart* desktop = view_.desktop();
  view_.SetRowPercent(row, percent);
  if (lastPercent_.exchange(percent) != percent && desktop) desktop->RedrawRowProgress(row);
  if (done == total) view_.StopRowProgress();
  if (desktop) desktop->EnsureRowVisible(row);
}

template <typename Done>
bool UpdateEngine::PauseUntil(uint32_t ms, Done done) {
  if (Stopping()) return false;
  const int realMs = OsWaitMs(ms);
  std::unique_lock lock(pauseMutex_);
  pauseCv_.wait_for(lock, std::chrono::milliseconds(std::max(realMs, 0)), [&] { return stopping_.load() || done(); });
  return !stopping_.load();
}

bool UpdateEngine::Pause(uint32_t ms) {
  return PauseUntil(ms, [] { return false; });
}

void UpdateEngine::WakePauses() {
  // The lock is taken once so that a waiter between its check of a flag and
  // its wait cannot miss the wake-up.
  { std::lock_guard lock(pauseMutex_); }
  pauseCv_.notify_all();
}

bool UpdateEngine::MonitorPause(uint32_t ms) {
  if (!monitorRun_.load()) return false;
  return PauseUntil(ms, [this] { return !monitorRun_.load(); }) && monitorRun_.load();
}

// ---------------------------------------------------------------------------
// Shutdown

RunResult UpdateEngine::CurrentRunResult() const {
  std::lock_guard lock(resultMutex_);
  return result_;
}

void UpdateEngine::Shutdown() {
  if (UpdateRunning() && !Stopping()) RecordRunEnd(RunEnd::Stopped, currentRow_.load());
  if (!stopping_.exchange(true)) {
    monitorRun_.store(false);
    // Each lock is taken once so that a waiter between its check of the flag
    // and its wait cannot miss the wake-up.
    auto wake = [](std::mutex& mutex, std::condition_variable& cv) {
      std::unique_lock lock(mutex);
      lock.unlock();
      cv.notify_all();
    };
    wake(pauseMutex_, pauseCv_);
    wake(messageMutex_, messageCv_);
  }
  // Threads leave at their next check of the stop flag. A thread blocked in a
  // network connect or a TLS accept is released by closing the link; a
  // transfer in progress is ended by closing the transports, so that its
  // remaining blocks fail at once instead of running to the end.
  bool transportsClosed = false;
  while (WorkersRunning()) {
    if (networkWait_.load() || UpdateRunning()) channel_.network().Close();
    if (UpdateRunning() && !transportsClosed) {
      channel_.serial().ClosePort();
      channel_.hid().Close();
      transportsClosed = true;
    }
    std::unique_lock lock(pauseMutex_);
    pauseCv_.wait_for(lock, std::chrono::milliseconds(std::max(OsWaitMs(20), 1)));
  }
  detectionThread_.Join();
  monitorThread_.Join();
  firmwareThread_.Join();
  kernelThread_.Join();
}

}  // namespace orvane
