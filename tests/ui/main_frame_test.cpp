// CMainFrame: caption, size, menu and status bar; the start-up view, the
// frame's size and the switch to the main view; the view factory; a bad
// configuration; the quiet end on an unhandled error.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/startup_view.h"
#include "ui/control_id.h"
#include "ui/help_dialog.h"
#include "ui/main_frame.h"
#include "ui/fallback_update_view.h"
#include "ui/terminate_handler.h"
#include "ui/window_messages.h"
#include "ui_test_support.h"

using namespace orvane;
using orvane::test::GateClock;
using orvane::test::MessageBoxRecorder;

class TestMainFrame : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  BootloadSettings settings_;
  CMainFrame* frame_ = nullptr;
  // The clocks outlive the frame, whose start thread may still use them.
  ManualClock manual_;
  std::unique_ptr<GateClock> gate_;

  void UseManualClock() { SetClock(&manual_); }
  GateClock& UseGateClock() {
    gate_ = std::make_unique<GateClock>();
    SetClock(gate_.get());
    return *gate_;
  }

  bool AnyFrameExists() const {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (qobject_cast<CMainFrame*>(window) != nullptr) return true;
    }
    return false;
  }

 private slots:
  void initTestCase() {
    QVERIFY(folder_.isValid());
    SetProgramFolderOverride(folder_.path().toStdString());
  }
  void init() { test::WriteConfiguration(folder_.path(), test::ValidConfigurationXml()); }
  void cleanup() {
    if (gate_ != nullptr) gate_->Open();
    delete frame_;
    frame_ = nullptr;
    SetClock(nullptr);
    gate_.reset();
    RegisterViewFactory(VIEW_ID_CONFIGURATION, {});
    RegisterViewFactory(VIEW_ID_EMV_L2, {});
  }
  void cleanupTestCase() { SetProgramFolderOverride({}); }

  void captionSizeAndBorder() {
    UseManualClock();
    frame_ = CMainFrame::Create(settings_);
    QVERIFY(frame_ != nullptr);
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_));
    QCOMPARE(frame_->windowTitle(), QStringLiteral("Orvane Reader Bootload Software  [For Taviron2] v2.00.020"));
    const Qt::WindowFlags flags = frame_->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowTitleHint);
    // Resizable by its border.
    QVERIFY(frame_->minimumSize().width() < 680 && frame_->maximumSize().width() > 680);
    frame_->resize(720, 700);
    QTRY_COMPARE(frame_->size(), QSize(720, 700));
    QCOMPARE(g_pMainFrame, frame_);
    // The configuration was loaded into the settings.
    QCOMPARE(settings_.tlsServerPort, 8443);
  }

  void menuAndStatusBar() {
    UseManualClock();
    frame_ = CMainFrame::Create(settings_);
    QVERIFY(frame_ != nullptr);
    const QList<QAction*> menus = frame_->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(menus[0]->menu()->actions()[0]->text(), QStringLiteral("E&xit"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&Help"));
    QStringList help;
    for (QAction* item : menus[1]->menu()->actions()) help << item->text();
    QCOMPARE(help, (QStringList{QStringLiteral("&About Bootload Software..."), QStringLiteral("&Help")}));

    QCOMPARE(frame_->MessagePane()->text(), QStringLiteral("Ready"));
    QCOMPARE(frame_->CapsIndicator()->text(), QStringLiteral("CAP"));
    QCOMPARE(frame_->NumIndicator()->text(), QStringLiteral("NUM"));
    QCOMPARE(frame_->ScrollIndicator()->text(), QStringLiteral("SCRL"));
    // Left to right: message pane, CAP, NUM, SCRL.
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_));
    QVERIFY(frame_->MessagePane()->x() < frame_->CapsIndicator()->x());
    QVERIFY(frame_->CapsIndicator()->x() < frame_->NumIndicator()->x());
    QVERIFY(frame_->NumIndicator()->x() < frame_->ScrollIndicator()->x());

    frame_->SetLockKeySource([] { return LockKeys{true, false, true}; });
    QVERIFY(frame_->CapsIndicator()->isEnabled());
    QVERIFY(!frame_->NumIndicator()->isEnabled());
    QVERIFY(frame_->ScrollIndicator()->isEnabled());

    // Pointing at a menu item leaves "Ready" in the status bar: the items
    // carry no prompts of their own.
    for (QAction* menu : menus) {
      for (QAction* item : menu->menu()->actions()) {
        item->showStatusText(frame_);
        QCOMPARE(frame_->statusBar()->currentMessage(), QString());
        QVERIFY(frame_->MessagePane()->isVisible());
        QCOMPARE(frame_->MessagePane()->text(), QStringLiteral("Ready"));
      }
    }
  }

  // The frame opens at 680 x 768 and shrinks to the start-up form (930 x 446
  // pixels), here only in height; the main view follows without any wait on
  // the program's clock.
  void startupViewShrinksTheFrameAndGivesWayAtOnce() {
    GateClock& clock = UseGateClock();  // never opened: program time stands still
    frame_ = CMainFrame::Create(settings_);
    QVERIFY(frame_ != nullptr);
    CEMVL2_ConfigureView* placeholder = frame_->PlaceholderView();
    QVERIFY(placeholder != nullptr);
    QCOMPARE(frame_->ActiveView(), placeholder);
    QCOMPARE(ControlId(placeholder), kFirstPaneId);

    frame_->show();
    QTRY_VERIFY(frame_->ActiveView() != placeholder);
    QVERIFY(!clock.SomeoneWaiting());
    QCOMPARE(clock.SleptMs(), uint64_t{0});
    QCOMPARE(frame_->centralWidget()->size(), QSize(680, 446));
    QVERIFY(frame_->height() < 768);
    auto* main = qobject_cast<CStandInView*>(frame_->ActiveView());
    QVERIFY(main != nullptr);
    QVERIFY(main->isVisible());
    QVERIFY(main->InitialUpdateDone());
    QCOMPARE(ControlId(main), kFirstPaneId);
    // The start-up view stays as a hidden child with id 0.
    QCOMPARE(frame_->PlaceholderView(), placeholder);
    QVERIFY(placeholder->isHidden());
    QVERIFY(frame_->isAncestorOf(placeholder));
    QCOMPARE(ControlId(placeholder), 0);
  }

  // A view on a form taller than the frame's client area (the main update
  // view's 656 x 464) scrolls in it; the frame does not grow.
  void registeredViewIsCreatedForViewThree() {
    UseManualClock();
    QWidget* created = nullptr;
    RegisterViewFactory(VIEW_ID_CONFIGURATION, [&created](CMainFrame&) {
      created = new QWidget();
      created->setMinimumSize(656, 464);
      return created;
    });
    frame_ = CMainFrame::Create(settings_);
    const QSize startupSize = frame_->size();
    frame_->show();
    QTRY_VERIFY(created != nullptr);
    QCOMPARE(frame_->ActiveView(), created);
    QVERIFY(frame_->isAncestorOf(created));
    QApplication::processEvents();
    QCOMPARE(frame_->size(), startupSize);
    QCOMPARE(created->height(), 464);
    QVERIFY(created->width() >= 656);
  }

  void unknownViewIdsChangeNothing_data() {
    QTest::addColumn<int>("viewId");
    QTest::newRow("EMV level 2 view, never built") << VIEW_ID_EMV_L2;
    QTest::newRow("zero") << 0;
    QTest::newRow("seven") << 7;
  }
  void unknownViewIdsChangeNothing() {
    QFETCH(int, viewId);
    UseGateClock();  // never opened: the start-up view stays active
    frame_ = CMainFrame::Create(settings_);
    QWidget* before = frame_->ActiveView();
    SendUserMessage(frame_, kSwitchViewEvent, static_cast<uintptr_t>(viewId), 0);
    QCOMPARE(frame_->ActiveView(), before);
    QCOMPARE(ControlId(before), kFirstPaneId);
  }

  void badConfigurationShowsTheFormatErrorAndLeavesNoFrame_data() {
    QTest::addColumn<QString>("xml");  // empty: no file at all
    QTest::newRow("file missing") << QString();
    QTest::newRow("not well-formed") << QStringLiteral("<BOOTLOAD_SETTING><USB vid_pid=\"1209,3810\">");
    QTest::newRow("no identities and no rates") << QStringLiteral("<BOOTLOAD_SETTING><SW enableLog=\"1\"/></BOOTLOAD_SETTING>");
    QTest::newRow("vid_pid with three parts")
        << QStringLiteral("<BOOTLOAD_SETTING><USB vid_pid=\"1209,3810,1\"/></BOOTLOAD_SETTING>");
  }
  void badConfigurationShowsTheFormatErrorAndLeavesNoFrame() {
    QFETCH(QString, xml);
    QFile::remove(folder_.filePath(QStringLiteral("BootloadConfiguration.xml")));
    if (!xml.isEmpty()) test::WriteConfiguration(folder_.path(), xml);
    MessageBoxRecorder boxes;
    BootloadSettings settings;
    QCOMPARE(CMainFrame::Create(settings), nullptr);
    QCOMPARE(boxes.shown.size(), size_t{1});
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Configuration File \"BootloadConfiguration.xml\" Format Error!\r\n"
                                                 "Please colse the demo and re-configuration it."));
    QApplication::processEvents();
    QVERIFY(!AnyFrameExists());
    QCOMPARE(g_pMainFrame, nullptr);
  }

  void helpCommandOpensTheGuideWithItsCaption() {
    UseManualClock();
    frame_ = CMainFrame::Create(settings_);
    frame_->show();
    QString caption;
    bool isHelp = false;
    test::OnNextModal([&](QWidget* modal) {
      caption = modal->windowTitle();
      isHelp = qobject_cast<CHelpDialog*>(modal) != nullptr;
      modal->close();
    });
    frame_->OnHelp();
    QVERIFY(isHelp);
    QCOMPARE(caption, QStringLiteral("Orvane Reader Bootload Software Help"));

    test::OnNextModal([&](QWidget* modal) {
      caption = modal->windowTitle();
      modal->close();
    });
    frame_->menuBar()->actions()[1]->menu()->actions()[0]->trigger();
    QCOMPARE(caption, QStringLiteral("About Orvane Reader Bootload Software"));
  }

  void exitClosesAndDestroysTheFrame() {
    UseManualClock();
    QPointer<CMainFrame> frame = CMainFrame::Create(settings_);
    QVERIFY(frame != nullptr);
    frame->show();
    frame->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
    QTRY_VERIFY(frame.isNull());
    QCOMPARE(g_pMainFrame, nullptr);
  }

  void unhandledErrorEndsQuietly() {
    int pipeFds[2];
    QCOMPARE(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      ::dup2(pipeFds[1], STDERR_FILENO);
      InstallQuietTerminateHandler();
      // An error escaping a worker thread: nothing can catch it.
      std::thread worker([] { throw std::runtime_error("nobody catches this"); });
      worker.join();
      ::_exit(99);
    }
    ::close(pipeFds[1]);
    char output[512] = {};
    ssize_t total = 0;
    for (ssize_t got; total < ssize_t{sizeof output} - 1 &&
                      (got = ::read(pipeFds[0], output + total, sizeof output - 1 - static_cast<size_t>(total))) > 0;) {
      total += got;
    }
    ::close(pipeFds[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));  // not killed by abort
    QCOMPARE(WEXITSTATUS(status), 1);
    QVERIFY(!QByteArray(output).contains("terminate called"));
  }
};

QTEST_MAIN(TestMainFrame)
#include "main_frame_test.moc"
