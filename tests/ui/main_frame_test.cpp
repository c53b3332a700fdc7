// CMainFrame: caption, menus and status bar; the start-up view that gives
// way to the main view at once; view switches that change nothing, and a
// posted one to a view of any kind; a bad configuration; Help and About;
// Exit; the quiet end on an unhandled error.

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/control_id.h"
#include "ui/help_dialog.h"
#include "ui/main_frame.h"
#include "ui/program_style.h"
#include "ui/startup_view.h"
#include "ui/terminate_handler.h"
#include "ui/window_messages.h"
#include "ui_test_support.h"

using namespace orvane;

class TestMainFrame : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  BootloadSettings settings_;
  ManualClock clock_;  // outlives the frame, whose start thread may still use it
  CMainFrame* frame_ = nullptr;

 private slots:
  void initTestCase() {
    QVERIFY(folder_.isValid());
    SetProgramFolderOverride(folder_.path().toStdString());
    SetClock(&clock_);
  }
  void init() {
    clock_.ClearRecords();
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

  // The start-up view's title in its blue; then the main view follows
  // without any pause on the program's clock, the frame shrunk to the form.
  void startupViewGivesWayAtOnce() {
    const QImage startup = frame_->grab().toImage();
    QVERIFY(test::CountPixels(startup, startup.rect(), kStartupTitleBlue) > 0);
    frame_->show();
    QTRY_VERIFY(frame_->ActiveView() != frame_->PlaceholderView());
    QVERIFY(clock_.Sleeps().empty());
    QVERIFY(frame_->ActiveView()->isVisible());
    QCOMPARE(frame_->centralWidget()->size(), QSize(680, 446));
    QVERIFY(frame_->height() < 768);
    QCOMPARE(frame_->windowTitle(), QStringLiteral("Orvane Reader Bootload Software  [For Taviron2] v2.00.020"));
    QVERIFY(!(frame_->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(settings_.tlsServerPort, 8443);
  }

  void viewIdsWithoutAViewChangeNothing() {
    for (int viewId : {int(VIEW_ID_EMV_L2), 0, 7}) {
      QWidget* before = frame_->ActiveView();
      SendUserMessage(frame_, kSwitchViewEvent, static_cast<uintptr_t>(viewId), 0);
      QCOMPARE(frame_->ActiveView(), before);
    }
  }

  // A posted switch to a view that is not one of the program's forms still
  // shows it as the frame's first pane; the view it replaces gives up that id.
  void anyRegisteredViewBecomesTheFirstPane() {
    QWidget* created = nullptr;
    RegisterViewFactory(VIEW_ID_EMV_L2, [&created](CMainFrame&) { return created = new QWidget(); });
    QWidget* before = frame_->ActiveView();
    PostUserMessage(frame_, kSwitchViewEvent, VIEW_ID_EMV_L2, 0);
    QCoreApplication::sendPostedEvents(frame_, kSwitchViewEvent);  // not the start-up view's own switch
    QCOMPARE(frame_->ActiveView(), created);
    QCOMPARE(FindControl(frame_, kFirstPaneId), created);
    QCOMPARE(ControlId(before), 0);
  }

  // Menus and lock-key panes in their order; pointing at a menu item leaves
  // "Ready" (the items carry no prompts).
  void menusAndStatusBar() {
    QStringList texts;
    for (QAction* menu : frame_->menuBar()->actions()) {
      texts << menu->text();
      for (QAction* item : menu->menu()->actions()) {
        texts << item->text();
        item->showStatusText(frame_);
        QCOMPARE(frame_->statusBar()->currentMessage(), QString());
        QCOMPARE(frame_->MessagePane()->text(), QStringLiteral("Ready"));
      }
    }
    QCOMPARE(texts, (QStringList{"&File", "E&xit", "&Help", "&About Bootload Software...", "&Help"}));
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_));
    QLabel* panes[] = {frame_->MessagePane(), frame_->CapsIndicator(), frame_->NumIndicator(), frame_->ScrollIndicator()};
    const char* captions[] = {"Ready", "CAP", "NUM", "SCRL"};
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(panes[i]->text(), QString::fromLatin1(captions[i]));
      if (i > 0) QVERIFY(panes[i - 1]->x() < panes[i]->x());
    }
    frame_->SetLockKeySource([] { return LockKeys{true, false, true}; });
    QVERIFY(panes[1]->isEnabled() && !panes[2]->isEnabled() && panes[3]->isEnabled());
  }

  void helpAboutAndExit() {
    frame_->show();
    QStringList captions;
    test::OnNextModal([&](QWidget* modal) {
      captions << modal->windowTitle() + (qobject_cast<CHelpDialog*>(modal) ? "" : " (not the help window)");
      modal->close();
    });
    frame_->OnHelp();
    test::OnNextModal([&](QWidget* modal) {
      captions << modal->windowTitle();
      modal->close();
    });
    frame_->menuBar()->actions()[1]->menu()->actions()[0]->trigger();
    QCOMPARE(captions, (QStringList{"Orvane Reader Bootload Software Help", "About Orvane Reader Bootload Software"}));
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
      QCOMPARE(boxes.shown.size(), size_t{1});
      QCOMPARE(boxes.shown[0].text, QStringLiteral("Configuration File \"BootloadConfiguration.xml\" Format Error!\r\n"
                                                   "Please colse the demo and re-configuration it."));
      QApplication::processEvents();
      for (QWidget* window : QApplication::topLevelWidgets()) QVERIFY(qobject_cast<CMainFrame*>(window) == nullptr);
      QCOMPARE(g_pMainFrame, nullptr);
    }
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
      std::thread worker([] { throw std::runtime_error("nobody catches this"); });
      worker.join();
      ::_exit(99);
    }
    ::close(pipeFds[1]);
    QByteArray output;
    char buffer[256];
    for (ssize_t got; output.size() < 4096 && (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, got);
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
