#pragma once
// The application object: the single-instance rule, the main frame, and the
// settings that the frame loads.

#include <QObject>
#include <QPointer>

#include <memory>

#include "app/bootload_settings.h"
#include "ui/main_frame.h"

namespace orvane {

class SingleInstanceGuard;

// The program's settings, loaded once by the main frame.
BootloadSettings& ProgramSettings();

class CBootloadApp : public QObject {
  Q_OBJECT

 public:
  explicit CBootloadApp(QObject* parent = nullptr);
  ~CBootloadApp() override;

  // Starts the program: true to run the event loop, false to end at once
  // (another instance runs, or the configuration did not load).
  bool InitInstance();
  // Ends the program: gives up the single-instance lock and closes the frame.
  // Returns the exit status: 1 when the configuration did not load, else 0.
  int ExitInstance();

  CMainFrame* MainFrame() const { return frame_; }
  SingleInstanceGuard* InstanceGuard() const { return instance_.get(); }

 private:
  void RaiseMainWindow();

  std::unique_ptr<SingleInstanceGuard> instance_;
  QPointer<CMainFrame> frame_;
  bool configurationFailed_ = false;
};

}  // namespace orvane
