#include "ui/main_frame.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

#include <map>
#include <mutex>

#include "ui/about_dlg.h"
#include "ui/startup_view.h"
#include "ui/control_id.h"
#include "ui/frame_view.h"
#include "ui/help_dialog.h"
#include "ui/message_box.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/fallback_update_view.h"
#include "ui/terminate_handler.h"
#include "ui/window_messages.h"

namespace orvane {

CMainFrame* g_pMainFrame = nullptr;

namespace {

constexpr int kIndicatorRefreshMs = 500;

std::mutex g_factoryMutex;
std::map<int, ViewFactory>& Factories() {
  static std::map<int, ViewFactory> factories;
  return factories;
}

ViewFactory FactoryFor(int viewId) {
  {
    std::lock_guard lock(g_factoryMutex);
    auto found = Factories().find(viewId);
    if (found != Factories().end()) return found->second;
  }
  if (viewId == VIEW_ID_CONFIGURATION) {
    return [](CMainFrame&) -> QWidget* { return new CStandInView(); };
  }
  return {};
}

}  // namespace

void RegisterViewFactory(int viewId, ViewFactory factory) {
  std::lock_guard lock(g_factoryMutex);
  if (factory) {
    Factories()[viewId] = std::move(factory);
  } else {
    Factories().erase(viewId);
  }
}

CMainFrame::CMainFrame() : QMainWindow(nullptr), lockKeySource_(&ReadLockKeys) {
  InstallQuietTerminateHandler();
  // Caption, system menu, sizing border and minimize box: no maximize box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(kTitle));
  setWindowIcon(ProgramIcon());
  setAttribute(Qt::WA_DeleteOnClose);
  resize(kWidth, kHeight);

  // Form views scroll when the frame is smaller than their form, so that a
  // view never makes the frame grow.
  viewArea_ = new QScrollArea(this);
  viewArea_->setFrameShape(QFrame::NoFrame);
  viewArea_->setWidgetResizable(true);
  viewArea_->setFocusPolicy(Qt::NoFocus);  // not a tab stop of its own
  views_ = new QStackedWidget();
  viewArea_->setWidget(views_);
  setCentralWidget(viewArea_);
  CreateMenus();
  CreateStatusBar();
}

CMainFrame::~CMainFrame() {
  if (g_pMainFrame == this) g_pMainFrame = nullptr;
}

CMainFrame* CMainFrame::Create(BootloadSettings& settings) {
  auto* frame = new CMainFrame();
  if (!LoadBootloadSettings(settings, kConfigurationFileName)) {
    delete frame;
    ShowMessageBox(nullptr, QString::fromLatin1(kConfigurationFormatError));
    return nullptr;
  }
  g_pMainFrame = frame;
  frame->ShowStartupView();
  return frame;
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* exit = file->addAction(QStringLiteral("E&xit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  QAction* about = help->addAction(QStringLiteral("&About Bootload Software..."));
  connect(about, &QAction::triggered, this, &CMainFrame::OnAppAbout);
  QAction* guide = help->addAction(QStringLiteral("&Help"));
  connect(guide, &QAction::triggered, this, &CMainFrame::OnHelp);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  SetControlId(bar, 59393);
  messagePane_ = new QLabel(QString::fromLatin1(kReadyPrompt), bar);
  bar->addWidget(messagePane_, 1);
  const char* names[3] = {"CAP", "NUM", "SCRL"};
  for (int i = 0; i < 3; ++i) {
    auto* indicator = new QLabel(QString::fromLatin1(names[i]), bar);
    indicator->setAlignment(Qt::AlignCenter);
    indicator->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    indicator->setMinimumWidth(indicator->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    bar->addPermanentWidget(indicator);
    indicators_[i] = indicator;
  }
  indicatorTimer_ = new QTimer(this);
  connect(indicatorTimer_, &QTimer::timeout, this, &CMainFrame::RefreshIndicators);
  indicatorTimer_->start(kIndicatorRefreshMs);
  RefreshIndicators();
}

void CMainFrame::SetLockKeySource(std::function<LockKeys()> source) {
  lockKeySource_ = std::move(source);
  RefreshIndicators();
}

void CMainFrame::RefreshIndicators() {
  const LockKeys keys = lockKeySource_ ? lockKeySource_() : LockKeys{};
  // An indicator whose key is off is shown greyed out.
  indicators_[0]->setEnabled(keys.caps);
  indicators_[1]->setEnabled(keys.num);
  indicators_[2]->setEnabled(keys.scroll);
}

void CMainFrame::ShowStartupView() {
  placeholder_ = new CEMVL2_ConfigureView();
  SetControlId(placeholder_, kFirstPaneId);
  views_->addWidget(placeholder_);
  views_->setCurrentWidget(placeholder_);
  placeholder_->OnInitialUpdate();
}

void CMainFrame::ShrinkToFitView(QSize viewSize) {
  // The view area's size follows from the frame's layout even before the
  // frame is shown.
  layout()->activate();
  const QSize area = viewArea_->size();
  const QSize excess = area - area.boundedTo(viewSize);
  if (!excess.isNull()) resize(size() - excess);
}

QWidget* CMainFrame::ActiveView() const { return views_->currentWidget(); }

bool CMainFrame::SwitchView(int viewId) {
  ViewFactory factory = FactoryFor(viewId);
  if (!factory) return false;
  QWidget* oldView = ActiveView();
  QWidget* newView = factory(*this);
  if (newView == nullptr) return false;
  SetControlId(newView, viewId);
  views_->addWidget(newView);
  views_->setCurrentWidget(newView);  // shows the new view and hides the old one, which stays
  if (oldView != nullptr) SetControlId(oldView, 0);
  SetControlId(newView, kFirstPaneId);
  if (auto* view = dynamic_cast<FrameView*>(newView)) view->OnInitialUpdate();
  return true;
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == kSwitchViewEvent) {
    SwitchView(static_cast<int>(static_cast<CUserMessage*>(event)->wParam()));
    return true;
  }
  if (event->type() == QEvent::KeyRelease || event->type() == QEvent::KeyPress) {
    auto key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock) RefreshIndicators();
  }
  return QMainWindow::event(event);
}

void CMainFrame::OnHelp() {
  CHelpDialog help(this, QString::fromLatin1(kHelpDocument));
  help.setWindowTitle(QString::fromLatin1(kHelpCaption));
  help.exec();
}

void CMainFrame::OnAppAbout() {
  CAboutDlg about(this);
  about.exec();
}

}  // namespace orvane
