#pragma once
// The main window: title, menu, status bar, and the client area in which the
// start-up view is replaced by the main update view.

#include <QMainWindow>

#include <functional>

#include "app/bootload_settings.h"
#include "ui/lock_keys.h"

class QLabel;
class QScrollArea;
class QStackedWidget;
class QTimer;

namespace orvane {

class CMainFrame;
class CEMVL2_ConfigureView;

// The main frame, for code that must reach it from elsewhere (worker threads
// post to it). Set when a frame has loaded the configuration, cleared when it
// is destroyed.
extern CMainFrame* g_pMainFrame;

// Builds a new view for the frame (without a parent; the frame adopts it).
using ViewFactory = std::function<QWidget*(CMainFrame& frame)>;
// Registers the view that WM_SWITCH_VIEW with `viewId` creates; an empty
// factory removes it. Until a factory is registered for the main update view
// the frame shows a plain stand-in.
void RegisterViewFactory(int viewId, ViewFactory factory);

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kTitle = "Orvane Reader Bootload Software  [For Taviron2] v2.00.020";
  // The size the frame opens with; the start-up view then shrinks it to its form.
  static constexpr int kWidth = 680;
  static constexpr int kHeight = 768;
  static constexpr const char* kReadyPrompt = "Ready";
  static constexpr const char* kHelpCaption = "Orvane Reader Bootload Software Help";

  // Builds the frame and loads the configuration file from the program folder
  // into `settings`. When the file fails to load, shows the format-error
  // message and returns nullptr; no frame remains.
  static CMainFrame* Create(BootloadSettings& settings);
  ~CMainFrame() override;

  QWidget* ActiveView() const;
  // Replaces the active view by a new view of that id. Unknown ids change
  // nothing and return false. The frame keeps its size; a view larger than
  // the client area scrolls in it.
  bool SwitchView(int viewId);
  // Makes the frame smaller where its view area is larger than `viewSize`;
  // it never grows.
  void ShrinkToFitView(QSize viewSize);

  // Menu commands.
  void OnHelp();
  void OnAppAbout();

  // The status bar's CAP, NUM and SCRL indicators.
  QLabel* CapsIndicator() const { return indicators_[0]; }
  QLabel* NumIndicator() const { return indicators_[1]; }
  QLabel* ScrollIndicator() const { return indicators_[2]; }
  // Replaces where the indicators read the lock keys from (tests).
  void SetLockKeySource(std::function<LockKeys()> source);
  void RefreshIndicators();

 protected:
  bool event(QEvent* event) override;

 private:
  CMainFrame();
  void CreateMenus();
  void CreateStatusBar();
  void ShowStartupView();

  QScrollArea* viewArea_;
  QStackedWidget* views_;
  CEMVL2_ConfigureView* placeholder_ = nullptr;
  QLabel* messagePane_ = nullptr;
  QLabel* indicators_[3] = {};
  QTimer* indicatorTimer_ = nullptr;
  std::function<LockKeys()> lockKeySource_;
};

}  // namespace orvane
