// The Update button: the selection, its confirmation and the start of a run.

#include "update/update_engine.h"
#include "update/update_texts.h"

namespace orvane {
namespace {

// Sorts the ticked records of `found` into `into`, adding "\t" + name + "\r\n"
// to `listing` for each. True when any row was ticked.
template <typename Pick>
bool CollectTicked(std::vector<ModuleFile>& found, const UpdateView& view, Pick pick) {
  bool any = false;
  for (ModuleFile& record : found) {
    if (!view.IsRowChecked(record.row)) continue;
    record.selected = true;
    any = true;
    pick(record);
  }
  return any;
}

void AddListing(std::string& listing, const ModuleFile& record) {
  listing += "\t";
  listing += record.name;
  listing += "\r\n";
}

}  // namespace

void UpdateEngine::OnButtonUpdate() {
  std::string confirmation;
  if (!CollectSelection(confirmation)) {
    view_.ShowMessageBox(texts::kSelectFileMessage, "");
    return;
  }
  if (view_.ConfirmFileSelection(confirmation)) StartFirmwareUpdate();
}

bool UpdateEngine::CollectSelection(std::string& confirmationText) {
  // Work on copies: the view is asked for its check boxes without the lists' lock.
  std::vector<ModuleFile> appModules, kernelModules, uniAppModules;
  {
    std::lock_guard lock(listsMutex_);
    appModules = lists_.appModules;
    kernelModules = lists_.kernelModules;
    uniAppModules = lists_.uniAppModules;
  }
  std::vector<ModuleFile> bootList, appList, kernelList, uniAppList;
  std::string bootText, appText, kernelText, uniAppText;

  bool any = CollectTicked(appModules, view_, [&](const ModuleFile& record) {
    if (record.isBootloader) {
      bootList.push_back(record);
      AddListing(bootText, record);
    } else {
      appList.push_back(record);
      AddListing(appText, record);
    }
  });
  any |= CollectTicked(kernelModules, view_, [&](const ModuleFile& record) {
    kernelList.push_back(record);
    AddListing(kernelText, record);
  });
  any |= CollectTicked(uniAppModules, view_, [&](const ModuleFile& record) {
    uniAppList.push_back(record);
    AddListing(uniAppText, record);
  });

  bootText = std::string(texts::kBootloaderListHead) + (bootList.empty() ? texts::kNoneLine : bootText);
  appText = std::string(texts::kAppListHead) + (appList.empty() ? texts::kNoneLine : appText);
  kernelText = std::string(texts::kKernelListHead) + (kernelList.empty() ? texts::kNoneLast : kernelText);
  uniAppText = std::string(texts::kUniAppListHead) + (uniAppList.empty() ? texts::kNoneLast : uniAppText);
  confirmationText = bootText + appText + kernelText + uniAppText;

  std::lock_guard lock(listsMutex_);
  lists_.appModules = std::move(appModules);
  lists_.kernelModules = std::move(kernelModules);
  lists_.uniAppModules = std::move(uniAppModules);
  bootList_ = std::move(bootList);
  appList_ = std::move(appList);
  kernelList_ = std::move(kernelList);
  uniAppList_ = std::move(uniAppList);
  return any;
}

void UpdateEngine::StartFirmwareUpdate() {
  if (Stopping()) return;
  view_.ClearRowOutcomes();
  {
    std::lock_guard lock(resultMutex_);
    result_ = RunResult{};
    resultPending_ = false;
  }
  // Busy for the whole run, its preparation included: a reader found again
  // meanwhile must neither give the controls back nor restart the monitor.
  busy_.store(true);
  preparingUpdate_.store(true);
  linkLossNoticed_.store(false);
  EnableInputs(false);
  // Every wait (the monitor's stop, the keyboard entry, the re-detection)
  // happens on the worker, so that the window keeps painting.
  firmwareThread_.Start([this] { FirmwareUpdateWorker(); });
}

void UpdateEngine::FirmwareUpdateWorker() {
  const bool firstStage = PrepareFirmwareUpdate();
  preparingUpdate_.store(false);
  if (firstStage) FirmwareUpdateThread();
}

bool UpdateEngine::PrepareFirmwareUpdate() {
  StopPresenceMonitor();
  if (Stopping()) return false;

  // A run's account starts empty: otherwise every log would repeat all the
  // runs before it, and the text would grow for as long as the program runs.
  channel_.ClearSessionText();

  bool firmwareModules = false;
  {
    std::lock_guard lock(listsMutex_);
    firmwareModules = !bootList_.empty() || !appList_.empty();
  }
  if (!firmwareModules) {
    Send(ViewRefresh::StartKernelStage);
    return false;
  }

  const DeviceInfo info = channel_.deviceInfo();
  if (info.keyboardMode && !info.bootloaderMode) {
    if (!channel_.EnterBootLoaderKeyboardHeader()) {
      if (Stopping()) return false;
      ShowMessageBoxAndWait(texts::kFailedMessage, texts::kEnterBootloadCaption);
      RecordRunEnd(RunEnd::KeyboardEntryFailed);
      PostRunAborted();
      return false;
    }
    std::string text;
    bool notFound = false;
    if (!RedetectReader(text, notFound, false)) {
      if (Stopping()) return false;
      ShowMessageBoxAndWait(texts::kFailedMessage, texts::kCannotConnectCaption);
      RecordRunEnd(RunEnd::ReaderNotFound);
      PostRunAborted();
      return false;
    }
  }
  return !Stopping();
}

void UpdateEngine::PostRunAborted() {
  FinishRun(false);
  Post(ready_.load() ? ViewRefresh::StartMonitor : ViewRefresh::RestartDetection);
}

}  // namespace orvane
