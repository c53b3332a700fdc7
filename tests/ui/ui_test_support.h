#pragma once
// Helpers shared by the desktop program's tests, and the desktop program
// around the main update view, with real parts: the main frame with its
// start-up view and view switch, the interface dialog, the three transports
// and one ReaderChannel, a program folder of its own, and a simulated reader
// on the in-memory HID backend that the test plugs in and pulls out. Program
// time runs on a scaled clock.

#include <QColor>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "app/bootload_settings.h"
#include "app/clock.h"
#include "bootload/transport_bundle.h"
#include "firmware/module_discovery.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/simulated_reader.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_frame.h"
#include "ui/main_update_view.h"
#include "ui/message_box.h"

namespace orvane::test {

// A configuration file that loads (reader 1209:3810).
QString ValidConfigurationXml(const QString& tlsPort = QStringLiteral("8443"),
                              const QString& tcpPort = QStringLiteral("8000"));
// Writes BootloadConfiguration.xml with `xml` into `folder`.
void WriteConfiguration(const QString& folder, const QString& xml);

// Records the program's message boxes instead of showing them, while alive.
struct MessageBoxRecorder {
  MessageBoxRecorder() {
    SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption) {
      texts << text;
      captions << caption;
    });
  }
  ~MessageBoxRecorder() { SetMessageBoxHook({}); }
  QStringList texts;
  QStringList captions;
};

// Asks a widget to repaint every 20 ms from its construction to Stop() and measures, on
// the real clock, the longest time between two paints: a user-interface
// thread that blocks shows up as one long gap. `onPaint` looks at each paint.
class RepaintProbe : public QObject {
 public:
  explicit RepaintProbe(QWidget* widget, std::function<void()> onPaint = {})
      : widget_(widget), onPaint_(std::move(onPaint)) {
    widget_->installEventFilter(this);
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (widget_) widget_->update();
    });
    clock_.start();
    timer_.start(20);
  }
  // The time since the last paint counts as a gap too.
  void Stop() {
    timer_.stop();
    Paint();
  }
  qint64 worstMs = 0;

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && timer_.isActive()) {
      Paint();
      if (onPaint_) onPaint_();
    }
    return false;
  }

 private:
  void Paint() {
    worstMs = std::max(worstMs, clock_.elapsed() - lastPaint_);
    lastPaint_ = clock_.elapsed();
  }

  QPointer<QWidget> widget_;  // the widget may go first
  std::function<void()> onPaint_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 lastPaint_ = 0;
};

// Pixels of `image` inside `area` whose colour is within `tolerance` of `colour`.
int CountPixels(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 0);
// Bounding box of the pixels darker than `threshold` (sum of r, g, b) in `area`.
QRect DarkBounds(const QImage& image, const QRect& area, int threshold = 300);

// Runs `action` on the next modal dialog that opens (then closes nothing by
// itself): for driving exec() from a test.
void OnNextModal(std::function<void(QWidget* dialog)> action);

// How the interface dialog is answered when the view starts.
enum class InterfaceAnswer { Local, Tls, Tcp, Escape };

class ConfigurationViewRig {
 public:
  // Program time runs `clockScale` times faster than real time.
  explicit ConfigurationViewRig(uint32_t clockScale = 10);
  ~ConfigurationViewRig();

  // ---- before Start ----
  // The configuration file's network ports.
  QString tlsPort = QStringLiteral("8443");
  QString tcpPort = QStringLiteral("8000");
  // The reader that StartReady() plugs in.
  sim::ReaderOptions readerOptions;
  // A module file beside the program: in kAppFolderName `size` is its number
  // of 256-byte blocks, in the kernel and UniApp folders its length in bytes.
  void AddModule(const std::string& folder, const std::string& name, int size);

  // Starts the program as a user would: the frame with its start-up view,
  // which switches to the main update view; the interface dialog is answered
  // as given. False when the view did not appear in time.
  bool Start(InterfaceAnswer answer = InterfaceAnswer::Local);
  // Plugs the reader in, starts, and waits (in real time) until the view
  // shows the reader ready.
  bool StartReady();
  void Unplug() { device_->SetPresent(false); }
  sim::SimulatedReader& reader() { return *reader_; }

  CMainFrame* frame() const { return frame_; }
  CViewConfiguration* view() const { return view_; }
  const ViewForm& form() const { return view_->form(); }
  const std::string& programFolder() const { return folder_.path(); }
  // Ends the program (frame and view); safe to call more than once.
  void Close();
  // Presses Update and confirms with "Continue" (any other dialog that comes
  // first is closed); returns the confirmation's text.
  QString UpdateConfirmed();
  bool WaitUntilRunOver();

  // ---- reading the screen ----
  QString StatusText() const { return form().status->text(); }
  // Without the break opportunities that the line adds to long runs.
  QString DeviceInfoText() const { return form().deviceInfo->text().remove(QChar(0x200B)); }
  // The texts of every row in `column` (0 the file, 1 the status, 2 the info).
  QStringList Column(int column) const;
  // Invalid for the default colour.
  QColor RowColour(int row) const { return form().list->TextColorFor(row, 1).value_or(QColor()); }
  void TickRow(int row, bool ticked = true) { form().list->SetCheck(row, ticked); }
  // True when every control an update disables is enabled (or disabled, for false).
  bool ControlsEnabled(bool enabled) const;

 private:
  ScaledClock clock_;
  ScopedClock scopedClock_;
  TempDir folder_;
  BootloadSettings settings_;
  FakeHidBackend hidBackend_;
  TransportBundle transports_{settings_, hidBackend_};
  std::unique_ptr<sim::SimulatedReader> reader_;
  std::shared_ptr<FakeHidDevice> device_;
  std::unique_ptr<sim::SimHidDevice> runner_;
  CMainFrame* frame_ = nullptr;
  CViewConfiguration* view_ = nullptr;
};

}  // namespace orvane::test
