// The first stage of an update run: bootloader modules, then application
// modules, each loaded into the reader's bootloader block by block.

#include "app/clock.h"
#include "app/program_folder.h"
#include "app/session_log.h"
#include "bootload/answer_judging.h"
#include "update/format_text.h"
#include "update/update_engine.h"
#include "update/update_texts.h"

namespace orvane {

std::string UpdateEngine::TimeLastLine(uint64_t startMs) const {
  const uint64_t seconds = (TickMs() - startMs) / 1000;
  return FormatText(texts::kRunTimeLastFormat, static_cast<int>(seconds));
}

void UpdateEngine::WriteLogIfEnabled(const std::string& runText) {
  if (channel_.settings().enableLog != 1) return;
  const std::string path = WriteSessionLog(runText);
  // Said once: the operator must know where to look, not be asked after every module.
  if (path == PathInFolder(ProgramFolder(), SessionLogFileName())) return;
  if (logFallbackNoticed_.exchange(true)) return;
  // Neither folder took it: the account of the run is lost unless the operator hears of it.
  view_.ShowNotice(path.empty() ? std::string(texts::kLogLost) : FormatText(texts::kLogFallbackFormat, path.c_str()));
}

void UpdateEngine::NoticeLinkLoss() {
  const std::string loss = channel_.LinkLossText();
  if (loss.empty() || linkLossNoticed_.exchange(true)) return;
  view_.ShowNotice(FormatText(texts::kLinkLostFormat, loss.c_str()));
}

bool UpdateEngine::ExitPassThroughInto(std::string& runText) {
  ReaderStatus status = 0;
  const bool ok = channel_.ExitPassThrough(status);
  runText += ok ? texts::kRunExitPassThroughSuccess : texts::kRunExitPassThroughFail;
  return ok;
}

bool UpdateEngine::EnterBootloadForModule(bool& notFound) {
  attention_.store(false);
  std::string text;
  if (!RedetectReader(text, notFound, false)) {
    SetDeviceReady(false);
    SetStatusAndAttention(texts::kFailedToFindDevice, true);
    Send(ViewRefresh::Controls);
    return false;
  }
  attention_.store(false);
  g_bModelVariant.store(NamesPassThroughModel(text));

  if (PassThroughCondition()) {
    const EntryOutcome outcome = channel_.EnterBootLoaderByRoute(EntryRoute::PassThrough);
    Send(ViewRefresh::Controls);
    if (outcome == EntryOutcome::PassThroughRefused) return false;
    Send(ViewRefresh::Controls);
    return true;
  }

  if (channel_.deviceInfo().bootloaderMode) {
    Send(ViewRefresh::Controls);
    return true;
  }
  SetStatus(texts::kToEnterBootload);
  Send(ViewRefresh::Controls);
  const EntryOutcome outcome = channel_.EnterBootLoaderByRoute(EntryRoute::Direct);
  if (outcome == EntryOutcome::Refused || outcome == EntryOutcome::PassThroughRefused) {
    SetStatusAndAttention(texts::kBootloadEnterFailed, true);
    Send(ViewRefresh::Controls);
    return true;
  }
  if (outcome == EntryOutcome::AlreadyInBootloader) {
    Send(ViewRefresh::Controls);
    return true;
  }
  SetStatus(texts::kBootloadEnterOkay);
  Send(ViewRefresh::Controls);
  const ConnectionKind kind = channel_.connectionKind();
  if (!ReconnectsAfterEntry(kind)) return true;
  return ReconnectAfterEntry(kind, notFound);
}

bool UpdateEngine::ReconnectAfterEntry(ConnectionKind kind, bool& notFound) {
  attention_.store(true);
  if (kind == ConnectionKind::TlsServer) {
    SetStatus(texts::kWaitTlsClient);
  } else if (kind == ConnectionKind::TcpClient) {
    SetStatus(texts::kWaitTcpServer);
  }
  Post(ViewRefresh::Controls);

  const uint64_t startMs = TickMs();
  bool connected = false;
  while (!connected) {
    if (!Pause(kReconnectPauseMs)) return false;
    std::string text;
    if (kind == ConnectionKind::TlsServer || kind == ConnectionKind::TcpClient) {
      {
        networkWait_.store(true);
        connected = kind == ConnectionKind::TlsServer
                        ? channel_.ConnectTlsServer(text, serverPort_.load(), true)
                        : channel_.ConnectTcpClient(text, serverAddress(), serverPort_.load(), true);
        networkWait_.store(false);
      }
      if (!connected && !Pause(kNetworkRetryMs)) return false;
    } else {
      connected = RedetectReader(text, notFound, false, startMs + kReconnectGiveUpMs);
    }
    if (!connected && TickMs() - startMs >= kReconnectGiveUpMs) {
      // The reader never came back: the same as a reader that was not found.
      notFound = true;
      SetDeviceReady(false);
      SetStatusAndAttention(texts::kFailedToFindDevice, true);
      Send(ViewRefresh::Controls);
      return false;
    }
  }
  ReaderFound(false);
  return true;
}

void UpdateEngine::AbortFirmwareRun(RunEnd end, int row, const char* status, const char* runLine,
                                    std::string& runText, bool passThrough) {
  RecordRunEnd(end, row);
  SetStatusAndAttention(status, true);
  Post(ViewRefresh::Controls);
  runText += runLine;
  if (passThrough) ExitPassThroughInto(runText);
  Post(ViewRefresh::Controls);
}

UpdateEngine::ModuleResult UpdateEngine::RunFirmwareModule(ModuleFile module, Stage stage, std::string& runText,
                                                           uint64_t startMs, int& requeues) {
  const bool stageA = stage == Stage::Bootloader;
  if (!module.selected) return ModuleResult::Next;
  std::string path;
  {
    std::lock_guard lock(listsMutex_);
    path = PathInFolder(lists_.appFolder, module.name);
  }
  currentRow_.store(module.row);

  bool notFound = false;
  if (!EnterBootloadForModule(notFound)) {
    if (Stopping()) return ModuleResult::Stopped;
    MarkRow(module.row, notFound ? ModuleOutcome::NotReplugged
                        : stageA ? ModuleOutcome::Failed
                                 : ModuleOutcome::ConnectionFailed);
    // The module was not loaded: the run must not report success for it.
    firmwareOk_.store(false);
    return stageA ? ModuleResult::Next : ModuleResult::EndStage;
  }
  if (Stopping()) return ModuleResult::Stopped;
  const bool passThrough = PassThroughCondition();

  ParseResult parsed = ParseResult::OpenFailed;
  int queued = 0;
  bool typeValid = false;
  bool pciFlag = false;
  {
    std::lock_guard lock(fileMutex_);
    parsed = moduleFile_.ParseModuleFile(path);
    if (passThrough) {
      channel_.QueueBootloadBlocksStx(moduleFile_.sections, queued);
    } else {
      channel_.QueueBootloadBlocks(moduleFile_.sections, queued);
    }
    typeValid = moduleFile_.typeValid;
    pciFlag = moduleFile_.pciFlag;
  }
  if (parsed != ParseResult::Ok) {
    // The file changed or vanished since it was listed. It is not sent; the
    // row and the log say so, and the run does not count as a success.
    runText += FileStatusText(parsed);
    runText += "\r\n";
    MarkRow(module.row, ModuleOutcome::Failed);
    firmwareOk_.store(false);
    return ModuleResult::Next;
  }

  SetStatus(texts::kDeviceRebooting);
  Post(ViewRefresh::Controls);
  std::string text;
  if (!RedetectReader(text, notFound, false)) {
    if (Stopping()) return ModuleResult::Stopped;
    SetDeviceReady(false);
    SetStatusAndAttention(texts::kDeviceRebootFailed, true);
    Post(ViewRefresh::Controls);
    runText += texts::kRunReaderLost;
    if (passThrough) ExitPassThroughInto(runText);
    MarkRow(module.row, notFound ? ModuleOutcome::NotReplugged : ModuleOutcome::Failed);
    firmwareOk_.store(false);
    Post(ViewRefresh::Controls);
    return stageA ? ModuleResult::Next : ModuleResult::HandOver;
  }
  if (Stopping()) return ModuleResult::Stopped;
  SetStatusAndAttention(texts::kDeviceReady, false);
  Post(ViewRefresh::Controls);

  if (!channel_.deviceInfo().bootloaderMode) {
    AbortFirmwareRun(RunEnd::NotInBootloader, module.row, texts::kNotInBootloadMode, texts::kRunNotInBootload, runText, passThrough);
    return ModuleResult::Aborted;
  }
  RefreshDeviceInfo();
  Post(ViewRefresh::Controls);
  const DeviceInfo info = channel_.deviceInfo();
  if (!typeValid) {
    AbortFirmwareRun(RunEnd::FileTypeError, module.row, texts::kAppFileTypeError, texts::kRunFileTypeError, runText, passThrough);
    return ModuleResult::Aborted;
  }
  if (pciFlag != info.pciType) {
    AbortFirmwareRun(RunEnd::PciMismatch, module.row, texts::kPciNotMatch, texts::kRunPciNotMatch, runText, passThrough);
    return ModuleResult::Aborted;
  }
  if (!info.pciType && info.stopPackage > queued) {
    AbortFirmwareRun(RunEnd::StopPointError, module.row, texts::kStopPointError, texts::kRunStopPointError, runText, passThrough);
    return ModuleResult::Aborted;
  }

  SetStatusAndAttention(texts::kFirmwareUpdating, false);
  Post(ViewRefresh::Controls);
  view_.StartRowProgress(module.row);
  const ProgressCallback progress = [this](int done, int total) { OnProgress(done, total); };
  const bool transferred = passThrough ? channel_.RunCommandQueueStx(progress) : channel_.RunCommandQueue(progress);
  channel_.AppendSessionTextTo(runText);
  // A shutdown cut the transfer short: no mark claims anything about it.
  if (Stopping()) return ModuleResult::Stopped;

  MarkRow(module.row, ModuleOutcome::Completed);
  if (!transferred) {
    NoticeLinkLoss();
    if (stageA) {
      runText += texts::kRunBootloaderModuleFailed;
      const bool before = firmwareOk_.exchange(false);
      size_t listLength = 0;
      {
        std::lock_guard lock(listsMutex_);
        listLength = bootList_.size();
      }
      if (listLength > 1 && requeues < kMaxRequeues) {
        MarkRow(module.row, ModuleOutcome::Suspended);
        // Back to what it was: a suspended module has not failed yet, but an
        // earlier failure still counts.
        firmwareOk_.store(before);
        ++requeues;
        std::lock_guard lock(listsMutex_);
        bootList_.push_back(module);
      } else {
        MarkRow(module.row, ModuleOutcome::Failed);
      }
    } else {
      SetStatusAndAttention(texts::kFirmwareUpdateFailed, true);
      firmwareOk_.store(false);
      runText += texts::kRunFirmwareFailed;
      MarkRow(module.row, ModuleOutcome::Failed);
    }
  }
  WriteLogIfEnabled(runText);
  if (passThrough) ExitPassThroughInto(runText);
  runText += TimeLastLine(startMs);
  Post(ViewRefresh::Controls);
  if (!Pause(kAfterModuleMs)) return ModuleResult::Stopped;
  return ModuleResult::Next;
}

void UpdateEngine::FirmwareUpdateThread() {
  attention_.store(false);
  std::unique_lock lock(viewLock_);
  std::string runText;
  const uint64_t startMs = TickMs();
  firmwareOk_.store(true);
  int requeues = 0;

  auto endAborted = [&] {
    FinishRun(false);
    lock.unlock();
    Post(ready_.load() ? ViewRefresh::StartMonitor : ViewRefresh::RestartDetection);
  };
  auto endStopped = [&] { WriteLogIfEnabled(runText); };

  // Bootloader modules; the length is read anew each time, so that modules
  // put back at the end are reached.
  for (size_t i = 0;; ++i) {
    ModuleFile module;
    {
      std::lock_guard lists(listsMutex_);
      if (i >= bootList_.size()) break;
      module = bootList_[i];
    }
    const ModuleResult result = RunFirmwareModule(module, Stage::Bootloader, runText, startMs, requeues);
    if (result == ModuleResult::Aborted) return endAborted();
    if (result == ModuleResult::Stopped) return endStopped();
  }

  for (const ModuleFile& module : AppList()) {
    const ModuleResult result = RunFirmwareModule(module, Stage::Application, runText, startMs, requeues);
    if (result == ModuleResult::Aborted) return endAborted();
    if (result == ModuleResult::Stopped) return endStopped();
    if (result == ModuleResult::EndStage) break;
    if (result == ModuleResult::HandOver) {
      view_.StopRowProgress();
      Post(ViewRefresh::StartKernelStage);
      return;
    }
  }

  if (firmwareOk_.load()) {
    SetStatusAndAttention(texts::kFirmwareUpdateSucceeded, false);
  } else {
    SetStatusAndAttention(texts::kFirmwareUpdateFailed, true);
  }
  view_.StopRowProgress();
  Post(ViewRefresh::StartKernelStage);
}

}  // namespace orvane
