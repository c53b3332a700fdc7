// The desktop program on a real X server (run under xvfb-run): the interface
// dialog comes first, then the main update view, and the window keeps
// repainting promptly while a transfer runs on the worker threads.

#include <QApplication>
#include <QGuiApplication>
#include <QTest>
#include <QWindow>

#include "configuration_view_rig.h"
#include "repaint_probe.h"
#include "ui/main_update_view.h"
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
    ContinueNextConfirmation();
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
    qInfo("longest time without a repaint %lld ms over %d paints", probe.WorstMs(), probe.Paints());
    QCOMPARE(rig.RowText(0, 1), QStringLiteral("Completed"));
    QVERIFY2(probe.Paints() >= 10, qPrintable(QString::number(probe.Paints())));
    QVERIFY2(probe.WorstMs() < kRepaintLimitMs, qPrintable(QStringLiteral("%1 ms").arg(probe.WorstMs())));
  }
};

QTEST_MAIN(TestConfigurationViewOnX)
#include "configuration_view_xvfb_test.moc"
