// One program per user: a second start raises the first window and ends; the
// first window is found by the start of its caption.

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/bootload_app.h"
#include "ui/main_frame.h"
#include "ui/single_instance.h"
#include "ui/window_finder.h"
#include "ui_test_support.h"

using namespace orvane;

class TestSingleInstance : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir runtime_;
  QTemporaryDir programFolder_;
  ManualClock clock_;

 private slots:
  void initTestCase() {
    QVERIFY(runtime_.isValid() && programFolder_.isValid());
    // Keeps these tests away from a real instance of the program.
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    test::WriteConfiguration(programFolder_.path(), test::ValidConfigurationXml());
    SetProgramFolderOverride(programFolder_.path().toStdString());
    SetClock(&clock_);
  }
  void cleanupTestCase() {
    SetProgramFolderOverride({});
    SetClock(nullptr);
  }

  void secondStartRaisesTheFirstWindowAndEnds() {
    CBootloadApp app;
    QVERIFY(app.InitInstance());
    CMainFrame* frame = app.MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QVERIFY(app.InstanceGuard()->IsHeld() && app.InstanceGuard()->Acquire());  // asking again keeps the lock
    frame->showMinimized();
    QSignalSpy asked(app.InstanceGuard(), &SingleInstanceGuard::RaiseRequested);
    QProcess second;  // in this test's runtime folder, see initTestCase
    second.start(QStringLiteral(ORVANE_BOOTLOAD_EXE));
    QVERIFY(QTest::qWaitFor([&] { return second.waitForFinished(10) || second.state() == QProcess::NotRunning; }, 15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(!frame->isMinimized() && frame->isVisible());
    QCOMPARE(app.ExitInstance(), 0);
  }

  // Found by the start of the caption in any letter case, if shown: windows
  // without a caption, with the wording further in, or hidden are passed over.
  void findsTheWindowByCaptionPrefix() {
    const QString product = QStringLiteral("Orvane Reader Bootload Software");
    std::vector<std::unique_ptr<QWidget>> windows;
    for (const QString& caption : {QString(), QStringLiteral("Help - ") + product, product, QStringLiteral("ORVANE reader BOOTLOAD software v1")}) {
      windows.push_back(std::make_unique<QWidget>());
      windows.back()->setWindowTitle(caption);
      windows.back()->setVisible(caption != product);
    }
    QCOMPARE(WindowFinder::FindWindowStartingWith(product), windows.back().get());
    windows.back()->hide();
    QCOMPARE(WindowFinder::FindWindowStartingWith(product), nullptr);
    WindowFinder::BringToFront(nullptr);  // nothing found: nothing happens
  }
};

QTEST_MAIN(TestSingleInstance)
#include "single_instance_test.moc"
