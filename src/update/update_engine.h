#pragma once
// UpdateEngine: the main update view without its widgets. It holds the
// view's state (flags, status and device texts, folders, module lists,
// selections, results), finds and watches the reader (detection thread,
// presence monitor, re-detection), and runs the two update procedures on
// worker threads it owns: FirmwareUpdateThread for bootloader and application
// modules, KernelUpdateThread for kernel and UniApp modules. It reaches the
// screen only through UpdateView.
//
// The presenter calls the "presenter thread" operations on its own thread and
// hands every posted ViewMessage back to DeliverViewMessage there. Shutdown
// (or the destructor) stops and joins every thread; call it before the view
// goes away.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bootload/reader_channel.h"
#include "firmware/firmware_file.h"
#include "firmware/module_discovery.h"
#include "update/interface_kind.h"
#include "update/run_result.h"
#include "update/update_view.h"
#include "update/worker_thread.h"

namespace orvane {

// The port shown before the interface choice replaces it.
inline constexpr int kDefaultServerPort = 1443;
// Program time after which the reconnection that follows an accepted
// bootloader entry gives up (the reader is then treated as not found).
inline constexpr uint32_t kReconnectGiveUpMs = 120000;

// Pauses of the procedures (program time).
inline constexpr uint32_t kDetectionRetryMs = 200;
inline constexpr uint32_t kNetworkRetryMs = 100;
inline constexpr uint32_t kMonitorAfterQueryMs = 300;
inline constexpr uint32_t kMonitorAfterRefreshMs = 500;
inline constexpr uint32_t kMonitorGoneMs = 4000;
inline constexpr uint32_t kMonitorStopStepMs = 500;
inline constexpr uint32_t kRedetectTlsSettleMs = 500;
inline constexpr int kRedetectQuickAttempts = 6;
inline constexpr int kRedetectSlowAttempts = 16;
inline constexpr uint32_t kRedetectSlowPauseMs = 1000;
inline constexpr uint32_t kReconnectPauseMs = 2000;
inline constexpr uint32_t kAfterModuleMs = 4000;
inline constexpr uint32_t kKernelStageSettleMs = 3000;
inline constexpr int kMaxRequeues = 3;

class UpdateEngine {
 public:
  UpdateEngine(ReaderChannel& channel, UpdateView& view);
  ~UpdateEngine();
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  // ================= presenter thread =================

  // The operator chose how the reader is reached; nothing changes when the
  // choice was cancelled (nullopt).
  void ApplyInterfaceChoice(std::optional<InterfaceKind> kind);
  // Lists the module files of the three folders below `programFolder`.
  void InitFirmwareFolders(const std::string& programFolder);
  // The operator chose another application or kernel folder.
  void ChooseAppFolder(const std::string& folder);
  void ChooseKernelFolder(const std::string& folder);
  // Disables the buttons, shows the member values, starts the detection
  // thread and the blinking of the status line.
  void StartDetection();
  // Moves the member values into the controls.
  void TransferToControls();

  void OnSelectAll(bool checked);
  void OnModelBox(bool ticked);
  // One step of the status line's blinking (see UpdateView::SetStatusBlinking).
  void BlinkStatus();

  // The Update button.
  void OnButtonUpdate();
  // Sorts the ticked rows into the four selected lists; false when nothing is ticked.
  bool CollectSelection(std::string& confirmationText);
  // After the operator confirmed: marks the run busy, disables the controls
  // and starts the worker, which stops the presence monitor, enters the
  // bootloader over the keyboard interface where needed and runs the update.
  // Returns at once: nothing here waits for the reader.
  void StartFirmwareUpdate();
  // ViewRefresh::StartKernelStage: the kernel and UniApp stage.
  void BeginKernelStage();

  // A posted message arrives (in posting order).
  void DeliverViewMessage(const ViewMessage& message);
  void HandleUpdateFinished();
  void HandleViewRefresh(ViewRefresh refresh);

  // Stops every thread and joins it; the engine does nothing more afterwards.
  // Called on the presenter's thread (the destructor calls it too).
  void Shutdown();

  // ================= any thread =================

  // The device-ready setter.
  void SetDeviceReady(bool ready);
  // Rebuilds the device-information text (may ask the reader).
  void RefreshDeviceInfo();
  // Gives back or takes away every input that an update run holds back.
  void EnableInputs(bool on);
  // The progress callback of the block transfers.
  void OnProgress(int done, int total);
  // Finds the reader again after a reboot or a re-plug. A non-zero
  // `deadlineMs` (a TickMs value) ends the attempts on the local links once
  // it has passed.
  bool RedetectReader(std::string& text, bool& notFound, bool force, uint64_t deadlineMs = 0);

  // ---- state, for presenters and tests ----
  ViewSnapshot Snapshot() const;
  std::string statusText() const;
  std::string deviceInfoText() const;
  bool busy() const { return busy_.load(); }
  bool ready() const { return ready_.load(); }
  bool attention() const { return attention_.load(); }
  bool firmwareOk() const { return firmwareOk_.load(); }
  bool kernelOk() const { return kernelOk_.load(); }
  bool uniAppOk() const { return uniAppOk_.load(); }
  bool monitorRunFlag() const { return monitorRun_.load(); }
  bool modelBoxTicked() const { return modelBoxTicked_.load(); }
  int serverPort() const { return serverPort_.load(); }
  std::string serverAddress() const;
  // Any worker thread of the engine is running.
  bool WorkersRunning() const;
  // An update run (either stage, or its preparation) is under way.
  bool UpdateRunning() const;

  // The result of the run under way, so far, or of the last run.
  RunResult CurrentRunResult() const;

  // Copies of the discovered and the selected lists.
  ModuleLists Lists() const;
  std::vector<ModuleFile> BootList() const;
  std::vector<ModuleFile> AppList() const;
  std::vector<ModuleFile> KernelList() const;
  std::vector<ModuleFile> UniAppList() const;

  ReaderChannel& channel() { return channel_; }

 private:
  class RowSink;
  enum class Stage { Bootloader, Application };
  enum class ModuleResult {
    Next,      // go on with the next module
    EndStage,  // stage B ends; the end-of-procedure status follows
    HandOver,  // stage B ends; the kernel stage follows at once
    Aborted,   // the run ends here
    Stopped,   // the engine shuts down
  };

  // ---- messages ----
  void Post(ViewMessageKind kind, ViewRefresh refresh = ViewRefresh::Controls);
  void Post(ViewRefresh refresh) { Post(ViewMessageKind::Refresh, refresh); }
  // Posts and waits until the presenter has handled the message (or the
  // engine shuts down); on the presenter's thread the handler runs at once.
  void Send(ViewMessageKind kind, ViewRefresh refresh = ViewRefresh::Controls);
  void Send(ViewRefresh refresh) { Send(ViewMessageKind::Refresh, refresh); }
  // A modal message box from any thread; returns once it was dismissed (or
  // the engine shuts down).
  void ShowMessageBoxAndWait(const std::string& text, const std::string& caption);
  void Handle(const ViewMessage& message);

  // ---- the run's result ----
  // Shows the outcome on the module's row and keeps it for the result.
  void MarkRow(int row, ModuleOutcome outcome);
  // Where and why a run ends early.
  void RecordRunEnd(RunEnd end, int stoppedAtRow = -1);
  // The run ends: its result is completed and handed to the view when the
  // presenter handles the update-finished message that this posts.
  void FinishRun(bool succeeded);

  // ---- the desktop part, when the view has one ----
  void EnableInputs(OperatorInputs inputs, bool on);
  void ShowPortBox(bool shown);

  // ---- state helpers ----
  void SetStatus(const std::string& text);
  void SetStatusAndAttention(const std::string& text, bool attention);
  bool PassThroughCondition() const;
  // A pause of the program that ends early when the engine shuts down;
  // false then.
  bool Pause(uint32_t ms);
  // The same for the presence monitor: it also ends as soon as the monitor
  // is asked to stop, so that nobody waits for the monitor's long pauses.
  bool MonitorPause(uint32_t ms);
  // Ends the waits of Pause and MonitorPause so that they look at their flags again.
  void WakePauses();
  // Waits up to `ms` of program time, or until `done` holds; false when the
  // engine shuts down.
  template <typename Done>
  bool PauseUntil(uint32_t ms, Done done);
  bool Stopping() const { return stopping_.load(); }
  // The end of a run that did not reach its normal end: controls back, and
  // the presence monitor (or, without a reader, the detection) again.
  void PostRunAborted();
  // Clears the monitor's run flag and waits for its stopped flag.
  void StopPresenceMonitor();
  void StartPresenceMonitor();

  // ---- procedures (update worker threads and detection threads) ----
  void DetectionThread();
  void PresenceMonitor();
  bool WaitForNetworkPeer(std::string& text, bool force);
  // The reader answers (again): ready, its information, and outside a run the
  // controls and the presence monitor.
  void ReaderFound(bool stopBlinking);
  bool EnterBootloadForModule(bool& notFound);
  bool ReconnectAfterEntry(ConnectionKind kind, bool& notFound);
  // The worker of an update run: the preparation, then the first stage.
  void FirmwareUpdateWorker();
  // Stops the presence monitor and readies the reader; false when the first
  // stage does not follow (nothing for it, a failure, or shutdown).
  bool PrepareFirmwareUpdate();
  void FirmwareUpdateThread();
  ModuleResult RunFirmwareModule(ModuleFile module, Stage stage, std::string& runText, uint64_t startMs, int& requeues);
  void AbortFirmwareRun(RunEnd end, int row, const char* status, const char* runLine, std::string& runText,
                        bool passThrough);
  void KernelUpdateThread();
  void RunKernelModule(const ModuleFile& module, bool uniApp, std::string& runText, uint64_t startMs);
  std::string TimeLastLine(uint64_t startMs) const;
  // Writes the run text to the session log when the settings ask for it; a
  // log that had to go to the fallback folder is told to the operator once.
  void WriteLogIfEnabled(const std::string& runText);
  bool ExitPassThroughInto(std::string& runText);
  // After a transfer that failed: a lost link is told to the operator in
  // words, once per run.
  void NoticeLinkLoss();

  ReaderChannel& channel_;
  UpdateView& view_;

  // ---- the view's members ----
  std::atomic<bool> busy_{false};
  std::atomic<bool> attention_{false};
  std::atomic<bool> ready_{false};
  std::atomic<int> blinkPhase_{1};
  std::atomic<bool> selectAll_{false};
  std::atomic<bool> modelBoxTicked_{false};
  std::atomic<int> serverPort_{kDefaultServerPort};
  mutable std::mutex textMutex_;  // guards the strings below
  std::string statusText_;
  std::string deviceInfoText_;
  std::string serverAddress_;

  // Held by each update procedure for its whole run.
  std::mutex viewLock_;

  // The module files: discovery on the presenter thread, parses and chunk
  // loads on the update workers; the file is locked while one of them uses it.
  mutable std::mutex listsMutex_;
  ModuleLists lists_;
  std::vector<ModuleFile> bootList_;
  std::vector<ModuleFile> appList_;
  std::vector<ModuleFile> kernelList_;
  std::vector<ModuleFile> uniAppList_;
  std::mutex fileMutex_;
  FirmwareFile moduleFile_;

  std::atomic<bool> firmwareOk_{false};
  std::atomic<bool> kernelOk_{false};
  std::atomic<bool> uniAppOk_{false};

  // The run under way (or the last one); handed over at its end.
  mutable std::mutex resultMutex_;
  RunResult result_;
  bool resultPending_ = false;

  // Progress: the row being transferred and the last percentage shown.
  std::atomic<int> currentRow_{-1};
  std::atomic<int> lastPercent_{0};

  // Presence monitor control. No monitor runs at first, so it counts as stopped.
  std::atomic<bool> monitorRun_{false};
  std::atomic<bool> monitorStopped_{true};

  std::atomic<bool> preparingUpdate_{false};
  std::atomic<bool> logFallbackNoticed_{false};
  std::atomic<bool> linkLossNoticed_{false};

  // Shutdown and pauses.
  std::atomic<bool> stopping_{false};
  std::atomic<bool> networkWait_{false};  // a connect or TLS accept may be blocking
  std::mutex pauseMutex_;
  std::condition_variable pauseCv_;

  // Sent messages: the sender waits until its sequence number was delivered.
  // The message boxes that workers asked for wait here for their turn.
  std::mutex messageMutex_;
  std::deque<std::pair<std::string, std::string>> pendingBoxes_;  // text, caption
  std::condition_variable messageCv_;
  uint64_t nextSequence_ = 1;
  uint64_t deliveredSequence_ = 0;

  // The worker threads come last, so that they are joined before anything
  // they use is destroyed.
  WorkerThread detectionThread_;
  WorkerThread monitorThread_;
  WorkerThread firmwareThread_;
  WorkerThread kernelThread_;
};

}  // namespace orvane
