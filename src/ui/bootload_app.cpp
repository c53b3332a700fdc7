#include "ui/bootload_app.h"

#include <QApplication>

#include "ui/main_frame.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/single_instance.h"
#include "ui/window_messages.h"
#include "ui/window_finder.h"

namespace orvane {

BootloadSettings& ProgramSettings() {
  static BootloadSettings settings;
  return settings;
}

CBootloadApp::CBootloadApp(QObject* parent) : QObject(parent) {}

CBootloadApp::~CBootloadApp() { ExitInstance(); }

bool CBootloadApp::InitInstance() {
  ReserveUserMessages();
  QApplication::setWindowIcon(ProgramIcon());

  instance_ = std::make_unique<SingleInstanceGuard>();
  connect(instance_.get(), &SingleInstanceGuard::RaiseRequested, this, &CBootloadApp::RaiseMainWindow);
  if (!instance_->Acquire()) return false;

  frame_ = CMainFrame::Create(ProgramSettings());
  if (frame_ == nullptr) {
    configurationFailed_ = true;
    return false;
  }
  frame_->show();
  return true;
}

int CBootloadApp::ExitInstance() {
  if (instance_ != nullptr) instance_->Release();
  if (frame_ != nullptr) delete frame_.data();
  return configurationFailed_ ? 1 : 0;
}

void CBootloadApp::RaiseMainWindow() {
  WindowFinder::BringToFront(WindowFinder::FindWindowStartingWith(QString::fromLatin1(kProductName)));
}

}  // namespace orvane
