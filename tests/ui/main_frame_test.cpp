// CMainFrame and the dialogs an operator meets: caption and lock-key panes;
// view switches that change nothing, and a posted one to a view of any
// kind; a bad configuration; Help, About and Exit; the message boxes that
// workers raise; the help window with its size, margin, missing-document text
// and Copy; one program per user, also after a crash; an error escaping a
// worker thread.

#include "ui/main_frame.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <stdexcept>
#include <thread>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/bootload_app.h"
#include "ui/control_id.h"
#include "ui/help_dialog.h"
#include "ui/message_box.h"
#include "ui/single_instance.h"
#include "ui/terminate_handler.h"
#include "ui/window_finder.h"
#include "ui/window_messages.h"
#include "ui_test_support.h"

using namespace orvane;
using orvane::test::OnNextModal;

class TestMainFrame : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  QTemporaryDir runtime_;
  BootloadSettings settings_;
  ManualClock clock_;  // outlives the frame, whose start thread may still use it
  CMainFrame* frame_ = nullptr;

 private slots:
  void initTestCase() {
    QVERIFY(folder_.isValid() && runtime_.isValid());
    // Keeps these tests away from a real instance of the program.
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    SetProgramFolderOverride(folder_.path().toStdString());
    SetClock(&clock_);
  }
  void init() {
    test::WriteConfiguration(folder_.path(), test::ValidConfigurationXml());
    frame_ = CMainFrame::Create(settings_);
    QVERIFY(frame_ != nullptr);
  }
  void cleanup() {
    delete frame_;
    frame_ = nullptr;
    RegisterViewFactory(VIEW_ID_EMV_L2, {});
  }
  void cleanupTestCase() {
    SetProgramFolderOverride({});
    SetClock(nullptr);
  }

  // Switches to view ids without a view (or to nobody) change nothing; a posted switch to a
  // view that is not one of the program's forms still shows it as the
  // frame's first pane; the view it replaces gives up that id.
  void viewSwitches() {
    RegisterViewFactory(VIEW_ID_EMV_L2, [](CMainFrame&) -> QWidget* { return nullptr; });  // a view that fails to build
    SendUserMessage(nullptr, kSwitchViewEvent, VIEW_ID_EMV_L2, 0);
    PostUserMessage(nullptr, kSwitchViewEvent, VIEW_ID_EMV_L2, 0);
    for (int viewId : {int(VIEW_ID_EMV_L2), 0, 7}) {
      QWidget* before = frame_->ActiveView();
      SendUserMessage(frame_, kSwitchViewEvent, static_cast<uintptr_t>(viewId), 0);
      QCOMPARE(frame_->ActiveView(), before);
    }
    QWidget* created = nullptr;
    RegisterViewFactory(VIEW_ID_EMV_L2, [&created](CMainFrame&) { return created = new QWidget(); });
    QWidget* before = frame_->ActiveView();
    PostUserMessage(frame_, kSwitchViewEvent, VIEW_ID_EMV_L2, 0);
    QCoreApplication::sendPostedEvents(frame_, kSwitchViewEvent);  // not the start-up view's own switch
    QCOMPARE(frame_->ActiveView(), created);
    QCOMPARE(FindControl(frame_, kFirstPaneId), created);
    QCOMPARE(ControlId(before), 0);
  }

  // The caption; the lock-key panes follow the keys; Help opens the help
  // window, About a box with the name and version only; Exit ends the frame.
  void helpAboutAndExit() {
    frame_->show();
    QStringList captions;
    OnNextModal([&](QWidget* modal) {
      auto* help = qobject_cast<CHelpDialog*>(modal);
      captions << modal->windowTitle() + (help ? "" : " (not the help window)");
      // The long guide takes the full allowed height, its text four pixels
      // inside; Copy takes the whole text and leaves nothing selected.
      QCOMPARE(help->height(),
               QGuiApplication::primaryScreen()->availableGeometry().height() - CHelpDialog::kScreenGap);
      QCOMPARE(help->TextControl()->geometry(), help->rect().adjusted(4, 4, -4, -4));
      help->Copy();
      QCOMPARE(QGuiApplication::clipboard()->text(), help->TextControl()->toPlainText());
      QVERIFY(!help->TextControl()->textCursor().hasSelection());
      modal->close();
    });
    frame_->OnHelp();
    OnNextModal([&](QWidget* modal) {
      captions << modal->windowTitle();
      for (QLabel* label : modal->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) captions << label->text();
      }
      modal->close();
    });
    frame_->menuBar()->actions()[1]->menu()->actions()[0]->trigger();
    QCOMPARE(frame_->windowTitle(), QStringLiteral("Orvane Reader Bootload Software  [For Taviron2] v2.00.020"));
    frame_->SetLockKeySource([] { return LockKeys{true, false, true}; });
    QVERIFY(frame_->CapsIndicator()->isEnabled() && !frame_->NumIndicator()->isEnabled() &&
            frame_->ScrollIndicator()->isEnabled());
    frame_->SetLockKeySource({});  // no source: every lock off
    QVERIFY(!frame_->CapsIndicator()->isEnabled() && !frame_->ScrollIndicator()->isEnabled());
    QCOMPARE(captions, (QStringList{"Orvane Reader Bootload Software Help", "About Orvane Reader Bootload Software",
                                    "Orvane Reader Bootload Software", "Version 2.00.020"}));
    QPointer<CMainFrame> frame = frame_;
    frame_->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
    QTRY_VERIFY(frame.isNull());
    frame_ = nullptr;
    QCOMPARE(g_pMainFrame, nullptr);
  }

  // A missing or malformed file, or one without a reader identity and rates:
  // the format error, and no frame.
  void badConfigurationShowsTheFormatErrorAndLeavesNoFrame() {
    delete frame_;
    frame_ = nullptr;
    for (const char* xml : {"", "<BOOTLOAD_SETTING><USB vid_pid=\"1209,3810\">",
                            "<BOOTLOAD_SETTING><SW enableLog=\"1\"/></BOOTLOAD_SETTING>",
                            "<BOOTLOAD_SETTING><USB vid_pid=\"1209,3810,1\"/></BOOTLOAD_SETTING>"}) {
      QFile::remove(folder_.filePath(QStringLiteral("BootloadConfiguration.xml")));
      if (*xml != 0) test::WriteConfiguration(folder_.path(), QString::fromLatin1(xml));
      test::MessageBoxRecorder boxes;
      BootloadSettings settings;
      QCOMPARE(CMainFrame::Create(settings), nullptr);
      QCOMPARE(boxes.texts, QStringList{"Configuration File \"BootloadConfiguration.xml\" Format Error!\r\n"
                                        "Please colse the demo and re-configuration it."});
      QCOMPARE(g_pMainFrame, nullptr);
    }
  }

  // A problem said again on every retry of a worker gives one box at a time,
  // and the worker never waits for the operator.
  void laterBoxShowsEachTextOnceWhileOpen() {
    const QString text = QStringLiteral("load server_cert.pem failed");
    std::thread([&] {
      for (int i = 0; i < 3; ++i) ShowMessageBoxLater(frame_, text);
    }).join();
    auto boxes = [&] { return frame_->findChildren<QMessageBox*>(); };
    QTRY_COMPARE(boxes().size(), 1);
    QTest::qWait(50);
    QCOMPARE(boxes().size(), 1);
    QVERIFY(boxes().front()->text().contains(text));
    QTest::mouseClick(boxes().front()->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_COMPARE(boxes().size(), 0);
    ShowMessageBoxLater(frame_, text);
    QTRY_COMPARE(boxes().size(), 1);
  }

  // A document missing from the resources, or none given: a small window
  // with the internal error, its first line in bold red.
  void helpMissingDocumentShowsTheRedInternalError() {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral(":/help/missing.html"), QStringLiteral("Failed to load RTF from resources, check your code!")},
        {QString(), QStringLiteral("no RTF ID set in constructor AND no RTF File Loaded, check your code!")}};
    for (const auto& [path, detail] : cases) {
      CHelpDialog help(nullptr, path);
      QVERIFY(help.height() < QGuiApplication::primaryScreen()->availableGeometry().height() / 2);
      QTextDocument* document = help.TextControl()->document();
      QCOMPARE(document->firstBlock().text(), QStringLiteral("HelpDialog Internal Error"));
      const QTextCharFormat first = document->firstBlock().begin().fragment().charFormat();
      QVERIFY(first.foreground().color() == QColor(255, 0, 0) && first.fontWeight() >= QFont::Bold);
      QVERIFY(document->toPlainText().contains(detail));
    }
  }
  // One program per user: a second start raises the first window and ends.
  void secondStartRaisesTheFirstWindowAndEnds() {
    delete frame_;
    frame_ = nullptr;
    CBootloadApp app;
    QVERIFY(app.InitInstance());
    CMainFrame* frame = app.MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QVERIFY(app.InstanceGuard()->IsHeld() && app.InstanceGuard()->Acquire());  // asking again keeps the lock
    frame->showMinimized();
    QSignalSpy asked(app.InstanceGuard(), &SingleInstanceGuard::RaiseRequested);
    QProcess second;  // in this test's runtime folder, see initTestCase
    second.start(QStringLiteral(ORVANE_BOOTLOAD_EXE));
    QVERIFY(
        QTest::qWaitFor([&] { return second.waitForFinished(10) || second.state() == QProcess::NotRunning; }, 15000));
    QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(!frame->isMinimized() && frame->isVisible());
    // Found by the start of its caption in any letter case; nothing found, nothing to raise.
    QCOMPARE(WindowFinder::FindWindowStartingWith(QStringLiteral("orvane READER")), frame);
    WindowFinder::BringToFront(WindowFinder::FindWindowStartingWith(QStringLiteral("Help - Orvane")));
    QCOMPARE(app.ExitInstance(), 0);
  }
  // A lock left by a crashed instance does not block the next start.
  void crashedInstanceLeavesNoBlockingLock() {
    const QString copy = folder_.filePath(QStringLiteral("orvane-bootload"));  // beside the configuration
    QVERIFY(QFile::exists(copy) || QFile::copy(QStringLiteral(ORVANE_BOOTLOAD_EXE), copy));
    SingleInstanceGuard paths;  // only for the file names
    QProcess crashing;          // in this test's runtime folder, see initTestCase
    crashing.start(copy);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(paths.SocketPath()), 15000);
    crashing.kill();
    QVERIFY(crashing.waitForFinished(5000));
    QVERIFY(QFile::exists(paths.LockPath()));
    SingleInstanceGuard next;
    QVERIFY(next.Acquire());
    next.Release();
    QVERIFY(!QFile::exists(paths.LockPath()));
  }
  // An error escaping a worker thread ends the program with status 1 and
  // without the runtime's "terminate called" text.
  void unhandledErrorEndsQuietly() {
    int pipeFds[2];
    QCOMPARE(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      ::dup2(pipeFds[1], STDERR_FILENO);
      InstallQuietTerminateHandler();
      std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
      ::_exit(99);
    }
    ::close(pipeFds[1]);
    QByteArray output;
    char buffer[256];
    for (ssize_t got; output.size() < 4096 && (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
      output.append(buffer, got);
    ::close(pipeFds[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));  // not killed by abort
    QCOMPARE(WEXITSTATUS(status), 1);
    QVERIFY(!output.contains("terminate called"));
  }
};

QTEST_MAIN(TestMainFrame)
#include "main_frame_test.moc"
