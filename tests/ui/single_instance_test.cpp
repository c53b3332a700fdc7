// One program per user: a second start raises the first window and ends; a
// lock left by a crashed instance does not block the next start; the first
// window is found by the start of its caption, in any letter case, if shown.

#include <QFile>
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

  // Starts the program (a copy beside a configuration when `copy`) with this test's runtime folder.
  void Start(QProcess& process, bool copy) {
    QString program = QStringLiteral(ORVANE_BOOTLOAD_EXE);
    if (copy) {
      const QString installed = programFolder_.filePath(QStringLiteral("orvane-bootload"));
      QVERIFY(QFile::exists(installed) || QFile::copy(program, installed));
      program = installed;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program);
    QVERIFY(process.waitForStarted(5000));
  }
  // Waits for the end with this process's event loop running.
  static bool WaitForEnd(QProcess& process) {
    return QTest::qWaitFor([&] { return process.waitForFinished(10) || process.state() == QProcess::NotRunning; }, 15000);
  }

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
    frame->showMinimized();
    QSignalSpy asked(app.InstanceGuard(), &SingleInstanceGuard::RaiseRequested);
    QProcess second;
    Start(second, false);
    QVERIFY(WaitForEnd(second));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(!frame->isMinimized() && frame->isVisible());
    QCOMPARE(app.ExitInstance(), 0);
  }

  void crashedInstanceLeavesNoBlockingLock() {
    SingleInstanceGuard paths;  // only for the file names
    QProcess first;
    Start(first, true);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(paths.SocketPath()), 15000);
    QProcess second;
    Start(second, true);
    QVERIFY(WaitForEnd(second));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY(QFile::exists(paths.LockPath()));
    SingleInstanceGuard next;
    QVERIFY(next.Acquire());
    QVERIFY(next.IsHeld() && next.Acquire());  // asking again keeps the lock
    next.Release();
    QVERIFY(!QFile::exists(paths.LockPath()));
  }

  void findsTheWindowByCaptionPrefix() {
    const QString product = QStringLiteral("Orvane Reader Bootload Software");
    const QString frame = product + QStringLiteral("  [For Taviron2] v2.00.020");
    struct Case {
      const char* name;
      std::vector<std::pair<QString, bool>> windows;  // caption, shown
      QString prefix;
      int expected;  // index into windows, -1 for none
    };
    const Case cases[] = {
        {"frame caption", {{frame, true}}, product, 0},
        {"other letter case", {{QStringLiteral("ORVANE reader BOOTLOAD software v1"), true}}, product.toLower(), 0},
        {"wording not at the start", {{QStringLiteral("Help - ") + product, true}}, product, -1},
        {"hidden one skipped", {{frame, false}, {QStringLiteral("Editor"), true}, {frame, true}}, product, 2},
        {"only a hidden one", {{frame, false}}, product, -1},
        {"caption shorter than the prefix", {{QStringLiteral("Orvane"), true}}, product, -1},
        {"no caption, empty prefix", {{QString(), true}}, QString(), -1},
    };
    for (const Case& test : cases) {
      std::vector<std::unique_ptr<QWidget>> created;
      for (const auto& [title, shown] : test.windows) {
        created.push_back(std::make_unique<QWidget>());
        created.back()->setWindowTitle(title);
        created.back()->setVisible(shown);
      }
      QWidget* found = WindowFinder::FindWindowStartingWith(test.prefix);
      QVERIFY2(found == (test.expected < 0 ? nullptr : created[size_t(test.expected)].get()), test.name);
    }
    WindowFinder::BringToFront(nullptr);  // nothing found: nothing happens
  }
};

QTEST_MAIN(TestSingleInstance)
#include "single_instance_test.moc"
