// CMainFrame and the dialogs an operator meets: caption, menus and status
// bar; the start-up view that gives way to the main view at once; view
// switches that change nothing, and a posted one to a view of any kind; a bad
// configuration; Help, About and Exit; the quiet end on an unhandled error;
// the file confirmation, the interface selection, the message boxes that
// workers raise, and the help window with its width search, margin,
// missing-document text and Copy.

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/control_id.h"
#include "ui/file_confirm_dlg.h"
#include "ui/help_dialog.h"
#include "ui/interface_select_dlg.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/startup_view.h"
#include "ui/terminate_handler.h"
#include "ui/window_messages.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using orvane::test::OnNextModal;

namespace {

enum class Leave { Escape, Enter, CancelButton, ContinueButton, CloseBox };

void LeaveDialog(QWidget* dialog, Leave how) {
  if (how == Leave::Escape || how == Leave::Enter) {
    QTest::keyClick(dialog, how == Leave::Escape ? Qt::Key_Escape : Qt::Key_Return);
  } else if (how == Leave::CloseBox) {
    dialog->close();
  } else {
    QTest::mouseClick(FindControl<QPushButton>(dialog, how == Leave::ContinueButton ? 1 : 2), Qt::LeftButton);
  }
}

}  // namespace

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

  // Switches to view ids without a view change nothing; a posted switch to a
  // view that is not one of the program's forms still shows it as the
  // frame's first pane; the view it replaces gives up that id.
  void viewSwitches() {
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

  // Help opens the help window, About a box with the name and version only;
  // Exit ends the frame.
  void helpAboutAndExit() {
    frame_->show();
    QStringList captions;
    OnNextModal([&](QWidget* modal) {
      captions << modal->windowTitle() + (qobject_cast<CHelpDialog*>(modal) ? "" : " (not the help window)");
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
    const QString output = folder_.filePath(QStringLiteral("stderr.txt"));
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      if (std::freopen(qPrintable(output), "w", stderr) == nullptr) ::_exit(98);
      InstallQuietTerminateHandler();
      std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
      ::_exit(99);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));  // not killed by abort
    QCOMPARE(WEXITSTATUS(status), 1);
    QFile written(output);
    QVERIFY(written.open(QIODevice::ReadOnly) && !written.readAll().contains("terminate called"));
  }

  // The file confirmation: its texts, the selection without Windows line
  // ends, and the way out: only "Continue" (also the default, on Enter) goes on.
  void confirmation() {
    CFileConfirmDlg dialog;
    dialog.SetText(QStringLiteral("Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tNone\r\n"
                                  "Kernel file list:\r\n\tapp_ct_l2.fm\r\n\r\nUni-App file list:\r\n\tNone"));
    auto* edit = FindControl<QPlainTextEdit>(&dialog, 1081);
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->toPlainText().split(QLatin1Char('\n')).size(), 9);
    QVERIFY(!edit->toPlainText().contains(QLatin1Char('\r')));
    QCOMPARE((QStringList{dialog.windowTitle(), FindControl<QLabel>(&dialog, 1080)->text(),
                          FindControl<QPushButton>(&dialog, 1)->text(), FindControl<QPushButton>(&dialog, 2)->text()}),
             (QStringList{"Selected File Confirmation", "Please confirm the file selection:", "Continue", "Cancel"}));
    const std::pair<Leave, int> ways[] = {{Leave::Escape, QDialog::Rejected},
                                          {Leave::CancelButton, QDialog::Rejected},
                                          {Leave::CloseBox, QDialog::Rejected},
                                          {Leave::ContinueButton, QDialog::Accepted},
                                          {Leave::Enter, QDialog::Accepted}};
    for (auto [how, result] : ways) {
      OnNextModal([how](QWidget* modal) { LeaveDialog(modal, how); });
      QCOMPARE(dialog.exec(), result);
    }
  }

  // The interface selection: captions top to bottom, the first one ticked,
  // only OK shown; a way out other than OK leaves the local interfaces.
  void interfaceChoice() {
    struct Case {
      int click;  // radio to click, -1 for none; 2 goes by 1 first
      Leave how;
      InterfaceKind kind;
    };
    const Case cases[] = {{-1, Leave::Enter, InterfaceUsbSerial},    {1, Leave::Enter, InterfaceTlsServer},
                          {2, Leave::ContinueButton, InterfaceTcpClient}, {0, Leave::Enter, InterfaceUsbSerial},
                          {1, Leave::Escape, InterfaceUsbSerial},   {2, Leave::CloseBox, InterfaceUsbSerial}};
    for (const Case& test : cases) {
      CInterfaceSelectDlg dialog;
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Orvane Reader Bootload Software"));
      const char* captions[3] = {"USB HID / USB KB / RS232", "TLS", "TCP / IP"};
      for (int selection = 0; selection < 3; ++selection) {
        QCOMPARE(dialog.RadioButton(selection)->text(), QString::fromLatin1(captions[selection]));
        if (selection > 0) QVERIFY(dialog.RadioButton(selection)->y() > dialog.RadioButton(selection - 1)->y());
      }
      QVERIFY(dialog.RadioButton(0)->isChecked());
      OnNextModal([&dialog, test](QWidget* modal) {
        QVERIFY(dialog.OkButton()->isVisible() && dialog.OkButton()->isDefault() && !dialog.CancelButton()->isVisible());
        if (test.click == 2) QTest::mouseClick(dialog.RadioButton(1), Qt::LeftButton, {}, QPoint(5, 8));
        if (test.click >= 0) QTest::mouseClick(dialog.RadioButton(test.click), Qt::LeftButton, {}, QPoint(5, 8));
        LeaveDialog(modal, test.how);
      });
      dialog.exec();
      QCOMPARE(dialog.ChosenInterface().value_or(InterfaceUsbSerial), test.kind);
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

  // The narrowest width that keeps the height at the middle width's, for a
  // paragraph of `length` pixels in lines of 20 (0: a height that never changes).
  void helpWidthSearch() {
    struct Case {
      const char* name;
      int length, lower, upper, width, height;
    };
    const Case cases[] = {{"long paragraph, three lines", 1000, 100, 800, 334, 60},
                          {"one line at the middle", 300, 100, 1000, 300, 20},
                          {"stops one short of the lower bound", 0, 100, 800, 101, 20},
                          {"empty range measured once", 1000, 100, 80, 90, 240}};
    for (const Case& test : cases) {
      int calls = 0;
      const HelpFit fit = FitHelpWidth(
          [&](int w) {
            ++calls;
            return test.length > 0 ? 20 * ((test.length + w - 1) / w) : 20;
          },
          test.lower, test.upper);
      QVERIFY2(fit.width == test.width && fit.height == test.height && calls <= 12, test.name);
    }
  }

  // The long guide takes the full allowed height and stays on the screen;
  // resizing keeps the text four pixels inside; Copy takes the whole text.
  void helpWindowFitsTheScreen() {
    CHelpDialog help(nullptr, QString::fromLatin1(kHelpDocument));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(help.width() >= CHelpDialog::kNarrowest && help.width() <= screen.width());
    QCOMPARE(help.height(), screen.height() - CHelpDialog::kScreenGap);
    const QString guide = help.TextControl()->toPlainText();
    QVERIFY(guide.size() > 20000);
    for (const char* topic : {"BootloadConfiguration.xml", "EnableInterruptPointReserve", "Not Replug",
                              "Stop Point Error", "ORV_Bootload_log.txt", "dialout", "server_cert.pem"}) {
      QVERIFY2(guide.contains(QString::fromLatin1(topic)), topic);
    }
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    for (QSize size : {QSize(700, 500), QSize(300, 200), QSize(760, 150)}) {
      help.resize(size);
      QTRY_COMPARE(help.size(), size);
      QCOMPARE(help.TextControl()->geometry(), QRect(QPoint(0, 0), size).adjusted(4, 4, -4, -4));
    }
    QGuiApplication::clipboard()->clear();
    help.Copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), guide);
    QVERIFY(!help.TextControl()->textCursor().hasSelection());
    QCOMPARE(help.TextControl()->textCursor().position(), 0);
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
      QTextCursor cursor(document->firstBlock());
      cursor.movePosition(QTextCursor::NextCharacter);
      QCOMPARE(cursor.charFormat().foreground().color(), QColor(255, 0, 0));
      QVERIFY(cursor.charFormat().fontWeight() >= QFont::Bold);
      QVERIFY(document->toPlainText().contains(detail));
    }
  }
};

QTEST_MAIN(TestMainFrame)
#include "main_frame_test.moc"
