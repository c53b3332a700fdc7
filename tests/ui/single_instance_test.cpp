// One program per user: a second start raises the first window and ends; a
// lock left by a crashed instance does not block the next start.

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/bootload_app.h"
#include "ui/main_frame.h"
#include "ui/single_instance.h"
#include "ui_test_support.h"

using namespace orvane;

class TestSingleInstance : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir runtime_;
  QTemporaryDir programFolder_;
  ManualClock clock_;

  QProcessEnvironment ChildEnvironment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
  }
  // A copy of the program beside a configuration, so that it starts for real.
  QString InstalledProgram() {
    const QString program = programFolder_.filePath(QStringLiteral("orvane-bootload"));
    if (!QFile::exists(program)) {
      if (!QFile::copy(QStringLiteral(ORVANE_BOOTLOAD_EXE), program)) return {};
    }
    return program;
  }
  static bool WaitForEnd(QProcess& process, int ms) {
    // Keeps this process's event loop running while the child works.
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      process.waitForFinished(10);
    }
    return process.state() == QProcess::NotRunning;
  }

 private slots:
  void initTestCase() {
    QVERIFY(runtime_.isValid());
    QVERIFY(programFolder_.isValid());
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

  void guardFilesLiveInTheRuntimeFolder() {
    SingleInstanceGuard guard;
    QVERIFY(guard.LockPath().startsWith(runtime_.path()));
    QVERIFY(guard.LockPath().contains(QStringLiteral("{2BB67CFA-BB06-4933-8E97-5EC69112338E}")));
    QVERIFY(guard.Acquire());
    QVERIFY(guard.IsHeld());
    QVERIFY(QFile::exists(guard.LockPath()));
    QVERIFY(QFile::exists(guard.SocketPath()));
    guard.Release();
    QVERIFY(!guard.IsHeld());
    QVERIFY(!QFile::exists(guard.LockPath()));
  }

  void secondStartRaisesTheFirstWindowAndEnds() {
    CBootloadApp app;
    QVERIFY(app.InitInstance());
    CMainFrame* frame = app.MainFrame();
    QVERIFY(frame != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    frame->showMinimized();
    QVERIFY(frame->isMinimized());
    QSignalSpy asked(app.InstanceGuard(), &SingleInstanceGuard::RaiseRequested);

    QProcess second;
    second.setProcessEnvironment(ChildEnvironment());
    second.start(QStringLiteral(ORVANE_BOOTLOAD_EXE));
    QVERIFY(second.waitForStarted(5000));
    QVERIFY(WaitForEnd(second, 15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(!frame->isMinimized());
    QVERIFY(frame->isVisible());
    QCOMPARE(app.ExitInstance(), 0);
  }

  void twoRealStartsLeaveOneProgram() {
    const QString program = InstalledProgram();
    QVERIFY(!program.isEmpty());
    SingleInstanceGuard paths;  // only for the file names

    QProcess first;
    first.setProcessEnvironment(ChildEnvironment());
    first.start(program);
    QVERIFY(first.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(paths.SocketPath()), 15000);

    QProcess second;
    second.setProcessEnvironment(ChildEnvironment());
    second.start(program);
    QVERIFY(second.waitForStarted(5000));
    QVERIFY(WaitForEnd(second, 15000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    // A crash leaves the lock file behind; the next start takes it over.
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY(QFile::exists(paths.LockPath()));
    SingleInstanceGuard next;
    QVERIFY(next.Acquire());
    next.Release();
  }
};

QTEST_MAIN(TestSingleInstance)
#include "single_instance_test.moc"
