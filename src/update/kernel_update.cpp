// The second stage of an update run: kernel modules, then UniApp modules,
// each sent whole between a begin and a finish command.

#include "app/clock.h"
#include "app/program_folder.h"
#include "update/update_engine.h"
#include "update/update_texts.h"

namespace orvane {

void UpdateEngine::BeginKernelStage() {
  bool nothingSelected = false;
  {
    std::lock_guard lock(listsMutex_);
    nothingSelected = kernelList_.empty() && uniAppList_.empty();
  }
  // The run ends here when nothing follows: the first stage's status stays,
  // and so does its attention flag, so that "Firmware Update Failed" is not
  // drawn in the colour of success.
  if (!nothingSelected) attention_.store(false);
  if (nothingSelected) {
    // The first stage's status stands, and with it its verdict.
    FinishRun(firmwareOk_.load());
    Post(ViewRefresh::Controls);
    Post(ViewRefresh::StartMonitor);
    return;
  }
  if (Stopping()) return;
  EnableInputs(false);
  kernelThread_.Start([this] { KernelUpdateThread(); });
}

void UpdateEngine::RunKernelModule(const ModuleFile& module, bool uniApp, std::string& runText, uint64_t startMs) {
  std::atomic<bool>& resultFlag = uniApp ? uniAppOk_ : kernelOk_;
  auto fail = [&] {
    SetStatusAndAttention(texts::kKernelUpdateFailed, true);
    resultFlag.store(false);
    runText += texts::kRunKernelFailed;
    MarkRow(module.row, ModuleOutcome::Failed);
  };

  SetStatus(texts::kKernelUpdating);
  Post(ViewRefresh::Controls);
  std::string path;
  {
    std::lock_guard lock(listsMutex_);
    path = PathInFolder(uniApp ? lists_.uniAppFolder : lists_.kernelFolder, module.name);
  }
  currentRow_.store(module.row);
  const uint8_t tag = static_cast<uint8_t>(module.kind);

  bool loaded = false;
  uint32_t fileLength = 0;
  int count = 0;
  {
    std::lock_guard lock(fileMutex_);
    loaded = moduleFile_.LoadRawChunks(path);
    fileLength = moduleFile_.fileLength;
    if (loaded) {
      // Built now, sent after the begin command: the chunks stay with the file.
      if (uniApp) {
        channel_.QueueUniAppBlocks(tag, moduleFile_.chunks, count);
      } else {
        channel_.QueueKernelBlocks(tag, moduleFile_.chunks, count);
      }
    }
  }
  if (!loaded) {
    // An unreadable file is never replaced by the pieces of an earlier one:
    // nothing is sent and the module fails.
    fail();
    runText += TimeLastLine(startMs);
    WriteLogIfEnabled(runText);
    Post(ViewRefresh::Controls);
    return;
  }

  ReaderStatus status = 0;
  if (uniApp) {
    channel_.BeginUniAppLoad(status, tag, fileLength);
  } else {
    channel_.BeginKernelLoad(status, tag, fileLength, 0, 0);
  }
  Post(ViewRefresh::Controls);
  Post(ViewRefresh::ControlsAgain);
  if (Stopping()) return;

  view_.StartRowProgress(module.row);
  const bool transferred = channel_.RunCommandQueue([this](int done, int total) { OnProgress(done, total); });
  channel_.AppendSessionTextTo(runText);
  if (Stopping()) return;
  MarkRow(module.row, ModuleOutcome::Completed);
  if (!transferred) {
    NoticeLinkLoss();
    fail();
  }

  const bool finished = uniApp ? channel_.FinishUniAppLoad(status, tag) : channel_.FinishKernelLoad(status, tag);
  if (!finished) fail();
  channel_.AppendSessionTextTo(runText);
  runText += TimeLastLine(startMs);
  WriteLogIfEnabled(runText);
  Post(ViewRefresh::Controls);
}

void UpdateEngine::KernelUpdateThread() {
  std::unique_lock lock(viewLock_);
  channel_.ClearSessionText();
  std::string runText;
  SetStatusAndAttention(texts::kKernelUpdating, false);
  Post(ViewRefresh::Controls);
  const uint64_t startMs = TickMs();

  if (!Pause(kKernelStageSettleMs)) return;
  std::string text;
  bool notFound = false;
  if (!RedetectReader(text, notFound, true)) {
    if (Stopping()) return;
    SetDeviceReady(false);
    SetStatusAndAttention(texts::kReconnectFailed, true);
    Post(ViewRefresh::Controls);
    runText += texts::kRunReconnectFailed;
    // Kept in the log as well, so that the operator can see why nothing was sent.
    WriteLogIfEnabled(runText);
    RecordRunEnd(RunEnd::ReconnectFailed);
    FinishRun(false);
    lock.unlock();
    Post(ViewRefresh::Controls);
    Post(ViewRefresh::StartMonitor);
    return;
  }

  SetStatusAndAttention(texts::kKernelUpdating, false);
  Post(ViewRefresh::Controls);
  kernelOk_.store(true);
  const std::vector<ModuleFile> kernelList = KernelList();
  for (const ModuleFile& module : kernelList) {
    if (Stopping()) return WriteLogIfEnabled(runText);
    if (module.selected) RunKernelModule(module, false, runText, startMs);
  }

  SetStatusAndAttention(texts::kUniAppUpdating, false);
  Post(ViewRefresh::Controls);
  uniAppOk_.store(true);
  const std::vector<ModuleFile> uniAppList = UniAppList();
  for (const ModuleFile& module : uniAppList) {
    if (Stopping()) return WriteLogIfEnabled(runText);
    if (module.selected) RunKernelModule(module, true, runText, startMs);
  }
  if (Stopping()) return WriteLogIfEnabled(runText);

  const bool failed = (!kernelOk_.load() && !kernelList.empty()) || (!firmwareOk_.load() && !AppList().empty()) ||
                      (!uniAppOk_.load() && !uniAppList.empty());
  if (failed) {
    SetStatusAndAttention(texts::kUpdateFailed, true);
  } else {
    SetStatusAndAttention(texts::kUpdateSucceeded, false);
  }
  view_.StopRowProgress();
  {
    std::lock_guard result(resultMutex_);
    result_.kernelOk = kernelOk_.load() || kernelList.empty();
    result_.uniAppOk = uniAppOk_.load() || uniAppList.empty();
  }
  FinishRun(!failed);
  Post(ViewRefresh::Controls);
  Post(ViewRefresh::StartMonitor);
}

}  // namespace orvane
