#pragma once
// CViewConfiguration: the main update view. It shows the module files with a
// check box each, the status line, the ready picture and what the reader says
// about itself, and starts updates. It is a thin presenter: the procedures,
// the detection and every value that is not a widget live in UpdateEngine,
// which reaches the widgets through the UpdateView operations below. Those
// that workers may call hand their work to the user-interface thread as
// queued events; the engine's posted view messages arrive as window messages
// (window_messages.h) and go back to the engine in posting order.

#include <QWidget>

#include <atomic>
#include <memory>
#include <string>

#include "ui/frame_view.h"
#include "ui/update_form_widgets.h"
#include "update/update_engine.h"
#include "update/update_view.h"

class QTimer;

namespace orvane {

class ViewKeyboardFilter;

class CViewConfiguration : public QWidget, public FrameView, public UpdateView, public DesktopViewPart {
  Q_OBJECT

 public:
  // `channel` is the program's reader connection; it outlives the view.
  explicit CViewConfiguration(ReaderChannel& channel, QWidget* parent = nullptr);
  ~CViewConfiguration() override;

  // Builds the device-information text (the frame calls it before the view
  // is shown; with no reader known it reads "Device Not be Connected").
  void RefreshDeviceInfo();
  // Runs once the view is shown: the interface dialog, the module discovery
  // in the folders beside the program, then the device detection.
  void OnInitialUpdate() override;

  UpdateEngine& engine() { return engine_; }

  // The controls, for the frame and for tests.
  const ViewForm& form() const { return form_; }

  // ---- UpdateView ----
  DesktopViewPart* desktop() override { return this; }
  bool IsPresenterThread() const override;
  void PostViewMessage(const ViewMessage& message) override;
  void TransferToControls(const ViewSnapshot& snapshot) override;
  void ShowMessageBox(std::string_view text, std::string_view caption) override;
  bool ConfirmFileSelection(const std::string& text) override;
  bool IsRowChecked(int row) const override;
  void SetRowChecked(int row, bool checked) override;
  void InsertRow(int row, std::string_view name, std::string_view info) override;
  void DeleteAllRows() override;
  void SetStatusBlinking(bool blinking) override;
  void DeviceReadyChanged(bool ready) override;
  void ShowNotice(std::string_view text) override;
  void ShowRowOutcome(int row, ModuleOutcome outcome) override;
  void ClearRowOutcomes() override;
  void StartRowProgress(int row) override;
  void SetRowPercent(int row, int percent) override;
  void StopRowProgress() override;

  // ---- DesktopViewPart ----
  void ShowModelBox(bool shown) override;
  void ShowPortBox(bool shown) override;
  void WriteStatusLine(std::string_view text) override;
  void EnableInputs(OperatorInputs inputs, bool enabled) override;
  void RedrawRowProgress(int row) override;
  void EnsureRowVisible(int row) override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ConnectControls();
  void OnReloadFirmwarePath();
  void OnReloadKernelPath();
  // Runs `action` now on the user-interface thread, or queues it there.
  template <typename Action>
  void OnPresenterThread(Action&& action);

  ViewForm form_;
  QTimer* blinkTimer_ = nullptr;
  ViewKeyboardFilter* keyboardFilter_ = nullptr;

  // Declared last: it is built after the widgets and shut down first.
  UpdateEngine engine_;
};

// The one main update view, while it exists.
extern std::atomic<CViewConfiguration*> g_pConfigView;

}  // namespace orvane
