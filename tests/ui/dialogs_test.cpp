// The dialogs an operator meets: the file confirmation, the interface
// selection, the About box, the message boxes that workers raise, and the
// help window with its width search, margin, missing-document text and Copy.

#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include <thread>

#include "ui/about_dlg.h"
#include "ui/control_id.h"
#include "ui/file_confirm_dlg.h"
#include "ui/help_dialog.h"
#include "ui/interface_select_dlg.h"
#include "ui/message_box.h"
#include "ui/program_resources.h"
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

class TestDialogs : public QObject {
  Q_OBJECT

 private slots:
  // Its texts, the selection without Windows line ends, and the way out:
  // only "Continue" (also the default, on Enter) goes on.
  void confirmation() {
    CFileConfirmDlg dialog;
    dialog.SetText(QStringLiteral("Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tNone\r\n"
                                  "Kernel file list:\r\n\tapp_ct_l2.fm\r\n\r\nUni-App file list:\r\n\tNone"));
    auto* edit = FindControl<QPlainTextEdit>(&dialog, 1081);
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->toPlainText().split(QLatin1Char('\n')).size(), 9);
    QVERIFY(!edit->toPlainText().contains(QLatin1Char('\r')));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Selected File Confirmation"));
    QCOMPARE(FindControl<QLabel>(&dialog, 1080)->text(), QStringLiteral("Please confirm the file selection:"));
    QCOMPARE(FindControl<QPushButton>(&dialog, 1)->text(), QStringLiteral("Continue"));
    QCOMPARE(FindControl<QPushButton>(&dialog, 2)->text(), QStringLiteral("Cancel"));
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

  // Captions top to bottom, the first one ticked, only OK shown; a way out
  // other than OK leaves the local interfaces.
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

  void aboutBoxShowsNameAndVersionOnly() {
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Orvane Reader Bootload Software"));
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) texts << label->text();
    }
    texts.sort();
    QCOMPARE(texts, (QStringList{QStringLiteral("Orvane Reader Bootload Software"), QStringLiteral("Version 2.00.020")}));
  }

  // A problem said again on every retry of a worker gives one box at a time,
  // and the worker never waits for the operator.
  void laterBoxShowsEachTextOnceWhileOpen() {
    QWidget owner;
    owner.show();
    const QString text = QStringLiteral("load server_cert.pem failed");
    std::thread worker([&] {
      for (int i = 0; i < 3; ++i) ShowMessageBoxLater(&owner, text);
    });
    worker.join();
    auto boxes = [&] { return owner.findChildren<QMessageBox*>(); };
    QTRY_COMPARE(boxes().size(), 1);
    QTest::qWait(50);
    QCOMPARE(boxes().size(), 1);
    QVERIFY(boxes().front()->text().contains(text));
    QTest::mouseClick(boxes().front()->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_COMPARE(boxes().size(), 0);
    ShowMessageBoxLater(&owner, text);
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

QTEST_MAIN(TestDialogs)
#include "dialogs_test.moc"
