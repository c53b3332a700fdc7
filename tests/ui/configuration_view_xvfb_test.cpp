// The desktop program on a real X server (run under xvfb-run): the interface
// dialog comes first, then the main update view, and the window keeps
// repainting promptly while a transfer runs on the worker threads.

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "configuration_view_rig.h"
#include "ui/c_view_configuration.h"
#include "ui/file_confirm_dlg.h"
#include "ui/interface_select_dlg.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_frame.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr qint64 kRepaintLimitMs = 100;
constexpr int kRepaintRequestMs = 20;

// Asks the view to repaint at a steady pace and measures how long each
// request waits for its paint.
class RepaintProbe : public QObject {
 public:
  explicit RepaintProbe(QWidget* view) : view_(view) {
    view_->installEventFilter(this);
    clock_.start();
    timer_.setInterval(kRepaintRequestMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Request(); });
  }
  ~RepaintProbe() override { view_->removeEventFilter(this); }
  void Start() {
    timer_.start();
    Request();
  }
  void Stop() { timer_.stop(); }
  qint64 WorstMs() const { return worst_; }
  int Paints() const { return paints_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && requestedAt_ >= 0) {
      worst_ = std::max(worst_, clock_.elapsed() - requestedAt_);
      requestedAt_ = -1;
      ++paints_;
    }
    return false;
  }

 private:
  void Request() {
    // A request still waiting counts from its own time.
    if (requestedAt_ < 0) requestedAt_ = clock_.elapsed();
    view_->update();
  }

  QWidget* view_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 requestedAt_ = -1;
  qint64 worst_ = 0;
  int paints_ = 0;
};

}  // namespace

class TestConfigurationViewOnX : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) QSKIP("needs an X server (run under xvfb-run)");
  }

  void dialogThenViewThenResponsiveTransfer() {
    ConfigurationViewRig rig(5);
    rig.AddAppModule("app_main.fm", true, 200);
    sim::ReaderOptions options;
    options.answerDelayMs = 10;
    rig.UseReader(options);
    rig.Plug();

    // The interface dialog is on the screen first; the main view is in use after it.
    bool dialogShown = false;
    rig.beforeInterfaceAnswer = [&](QWidget* dialog) {
      if (qobject_cast<CInterfaceSelectDlg*>(dialog) == nullptr) return;
      dialogShown = QTest::qWaitForWindowExposed(dialog) && dialog->isVisible();
    };
    QVERIFY(rig.Start());
    QVERIFY(dialogShown);
    QVERIFY(QTest::qWaitForWindowExposed(rig.frame()));
    QCOMPARE(rig.frame()->ActiveView(), static_cast<QWidget*>(rig.view()));
    QVERIFY(QTest::qWaitFor([&] { return rig.view()->engine().ready() && rig.ControlsEnabled(true); }, 20000));

    rig.TickRow(0);
    OnNextModal([](QWidget* dialog) {
      if (auto* confirm = qobject_cast<CFileConfirmDlg*>(dialog)) {
        QTest::mouseClick(confirm->ContinueButton(), Qt::LeftButton);
      } else {
        dialog->close();
      }
    });
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);

    RepaintProbe probe(rig.view());
    probe.Start();
    bool sawTransfer = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
          sawTransfer |= rig.view()->form().list->CurrentProgressRow() == 0;
          return !rig.view()->engine().UpdateRunning() && rig.ControlsEnabled(true);
        },
        60000));
    probe.Stop();
    QVERIFY(sawTransfer);
    qInfo("worst repaint wait %lld ms over %d paints", probe.WorstMs(), probe.Paints());
    QCOMPARE(rig.RowText(0, 1), QStringLiteral("Completed"));
    QVERIFY2(probe.Paints() >= 10, qPrintable(QString::number(probe.Paints())));
    QVERIFY2(probe.WorstMs() < kRepaintLimitMs, qPrintable(QStringLiteral("%1 ms").arg(probe.WorstMs())));
  }
};

QTEST_MAIN(TestConfigurationViewOnX)
#include "configuration_view_xvfb_test.moc"
