// Keeping a reader connected: the detection thread, the presence monitor and
// the re-detection after a reboot.

#include "app/clock.h"
#include "bootload/answer_judging.h"
#include "update/update_engine.h"
#include "update/update_texts.h"

namespace orvane {
namespace {

// Marks a blocking network connect or accept, so that a shutdown knows to
// close the link under it.
class NetworkWaitScope {
 public:
  explicit NetworkWaitScope(std::atomic<bool>& flag) : flag_(flag) { flag_.store(true); }
  ~NetworkWaitScope() { flag_.store(false); }
  NetworkWaitScope(const NetworkWaitScope&) = delete;
  NetworkWaitScope& operator=(const NetworkWaitScope&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

void UpdateEngine::DetectionThread() {
  const InterfaceKind kind = g_nInterfaceKind.load();
  if (kind == InterfaceUsbSerial) {
    while (!Stopping()) {
      std::string text;
      if (channel_.ConnectUsbOrSerial(text)) {
        g_bModelVariant.store(NamesPassThroughModel(text));
        ReaderFound(true);
        return;
      }
      if (!Pause(kDetectionRetryMs)) return;
      if (g_nInterfaceKind.load() != InterfaceUsbSerial) {
        view_.SetStatusBlinking(false);
        return;
      }
    }
    return;
  }
  if (kind != InterfaceTcpClient && kind != InterfaceTlsServer) {
    view_.SetStatusBlinking(false);
    return;
  }
  SetStatusAndAttention(kind == InterfaceTcpClient ? texts::kWaitTcpServer : texts::kWaitTlsClient, true);
  Post(ViewRefresh::Controls);
  while (true) {
    if (Stopping()) return;
    std::string text;
    bool connected = false;
    {
      NetworkWaitScope scope(networkWait_);
      connected = kind == InterfaceTcpClient
                      ? channel_.ConnectTcpClient(text, serverAddress(), serverPort_.load(), false)
                      : channel_.ConnectTlsServer(text, serverPort_.load(), false);
    }
    if (connected) break;
    if (!Pause(kNetworkRetryMs)) return;
  }
  ReaderFound(true);
}

void UpdateEngine::ReaderFound(bool stopBlinking) {
  SetDeviceReady(true);
  RefreshDeviceInfo();
  if (stopBlinking) view_.SetStatusBlinking(false);
  // During a run the run itself goes on; outside one the controls come back
  // and the presence monitor starts.
  if (busy_.load()) return;
  EnableInputs(OperatorInputs::Buttons, true);
  Post(ViewRefresh::ControlsAgain);
  Post(ViewRefresh::StartMonitor);
}

void UpdateEngine::StartPresenceMonitor() {
  if (Stopping()) return;
  // One monitor at a time: a start while one still runs keeps that one.
  if (monitorThread_.Running() && !monitorStopped_.load()) {
    monitorRun_.store(true);
    return;
  }
  monitorRun_.store(true);
  monitorStopped_.store(false);
  monitorThread_.Start([this] {
    PresenceMonitor();
    monitorStopped_.store(true);
  });
}

void UpdateEngine::StopPresenceMonitor() {
  monitorRun_.store(false);
  WakePauses();
  if (!Pause(kMonitorStopStepMs)) return;
  while (!monitorStopped_.load()) {
    if (!Pause(kMonitorStopStepMs)) return;
  }
}

void UpdateEngine::PresenceMonitor() {
  if (!monitorRun_.load()) {
    monitorStopped_.store(true);
    return;
  }
  while (true) {
    const bool keyboard = channel_.deviceInfo().keyboardMode;
    std::string answer = keyboard ? channel_.GetKeyboardVersion() : channel_.GetFirmwareVersionDisplay();
    if (answer.empty()) break;
    // A stop request ends the pauses at once: an update waits for the monitor.
    if (!MonitorPause(kMonitorAfterQueryMs)) {
      monitorStopped_.store(true);
      return;
    }
    RefreshDeviceInfo();
    Post(ViewRefresh::ControlsAgain);
    if (!MonitorPause(kMonitorAfterRefreshMs)) {
      monitorStopped_.store(true);
      return;
    }
  }
  // The reader is gone.
  if (!MonitorPause(kMonitorGoneMs)) {
    // An update asked the monitor to stop meanwhile: the update finds the
    // reader itself, and a detection started now would race it for the link.
    monitorStopped_.store(true);
    return;
  }
  if (channel_.connectionKind() == ConnectionKind::TcpClient) {
    std::string text;
    bool connected = false;
    {
      NetworkWaitScope scope(networkWait_);
      connected = channel_.ConnectTcpClient(text, serverAddress(), serverPort_.load(), true);
    }
    if (connected) {
      SetDeviceReady(true);
      RefreshDeviceInfo();
      Post(ViewRefresh::ControlsAgain);
      Post(ViewRefresh::RestartDetection);
      monitorStopped_.store(true);
      return;
    }
  }
  SetDeviceReady(false);
  RefreshDeviceInfo();
  Post(ViewRefresh::ControlsAgain);
  Post(ViewRefresh::RestartDetection);
  monitorStopped_.store(true);
}

// The network wait of the re-detection: until a peer answers (or shutdown).
bool UpdateEngine::WaitForNetworkPeer(std::string& text, bool force) {
  const bool tls = channel_.connectionKind() == ConnectionKind::TlsServer;
  // The answer is handed back like the local connect's text, so that the
  // model check of the bootloader entry sees it on the network links too.
  std::string answer = channel_.GetFirmwareVersion();
  if (!answer.empty()) {
    text = std::move(answer);
    if (!Pause(kRedetectTlsSettleMs)) return false;
    RefreshDeviceInfo();
    return true;
  }
  SetStatusAndAttention(tls ? texts::kWaitTlsClient : texts::kWaitTcpServer, true);
  Post(ViewRefresh::Controls);
  while (true) {
    if (Stopping()) return false;
    text.clear();
    bool connected = false;
    {
      NetworkWaitScope scope(networkWait_);
      connected = tls ? channel_.ConnectTlsServer(text, serverPort_.load(), force)
                      : channel_.ConnectTcpClient(text, serverAddress(), serverPort_.load(), force);
    }
    if (connected) break;
    if (!Pause(kNetworkRetryMs)) return false;
  }
  ReaderFound(false);
  return true;
}

bool UpdateEngine::RedetectReader(std::string& text, bool& notFound, bool force, uint64_t deadlineMs) {
  const ConnectionKind kind = channel_.connectionKind();
  if (kind == ConnectionKind::TlsServer || kind == ConnectionKind::TcpClient) {
    return WaitForNetworkPeer(text, force);
  }

  notFound = false;
  auto attempt = [&] {
    text.clear();
    return PassThroughCondition() ? channel_.ConnectSerialOrUsb(text) : channel_.ConnectUsbOrSerial(text);
  };
  // One attempt on a silent serial line takes seconds; a caller's deadline
  // must not wait for a whole round of them.
  const auto pastDeadline = [deadlineMs] { return deadlineMs != 0 && TickMs() >= deadlineMs; };
  bool found = false;
  for (int i = 0; i < kRedetectQuickAttempts && !found && !Stopping() && !pastDeadline(); ++i) found = attempt();
  if (!found && !Stopping() && !pastDeadline()) {
    SetStatusAndAttention(texts::kDetectingDevice, true);
    Send(ViewRefresh::Controls);
    for (int i = 0; i < kRedetectSlowAttempts && !found && !pastDeadline(); ++i) {
      if (!Pause(kRedetectSlowPauseMs)) break;
      found = attempt();
    }
  }
  if (!found) notFound = true;
  SetDeviceReady(found);
  RefreshDeviceInfo();
  attention_.store(false);
  Post(ViewRefresh::Controls);
  return found;
}

}  // namespace orvane
