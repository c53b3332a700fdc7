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

Q_DECLARE_METATYPE(Leave)

class TestDialogs : public QObject {
  Q_OBJECT

 private slots:
  void confirmationResultByWayOut_data() {
    QTest::addColumn<Leave>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Escape") << Leave::Escape << int(QDialog::Rejected);
    QTest::newRow("Cancel") << Leave::CancelButton << int(QDialog::Rejected);
    QTest::newRow("close box") << Leave::CloseBox << int(QDialog::Rejected);
    QTest::newRow("Continue") << Leave::ContinueButton << int(QDialog::Accepted);
    QTest::newRow("Enter, Continue is the default") << Leave::Enter << int(QDialog::Accepted);
  }
  void confirmationResultByWayOut() {
    QFETCH(Leave, how);
    QFETCH(int, result);
    CFileConfirmDlg dialog;
    dialog.SetText(QStringLiteral("Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tapp_main.fm\r\n"));
    OnNextModal([how](QWidget* modal) { LeaveDialog(modal, how); });
    QCOMPARE(dialog.exec(), result);
  }

  void confirmationTexts() {
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
  }

  // Captions top to bottom, the first one ticked, only OK shown; a way out
  // other than OK leaves the local interfaces.
  void interfaceChoice_data() {
    QTest::addColumn<int>("click");  // radio to click, -1 for none
    QTest::addColumn<Leave>("how");
    QTest::addColumn<int>("kind");
    QTest::newRow("OK with the default") << -1 << Leave::Enter << int(InterfaceUsbSerial);
    QTest::newRow("TLS") << 1 << Leave::Enter << int(InterfaceTlsServer);
    QTest::newRow("TCP / IP") << 2 << Leave::ContinueButton << int(InterfaceTcpClient);
    QTest::newRow("back to local") << 0 << Leave::Enter << int(InterfaceUsbSerial);
    QTest::newRow("TLS, then Escape") << 1 << Leave::Escape << int(InterfaceUsbSerial);
    QTest::newRow("TCP / IP, then the close box") << 2 << Leave::CloseBox << int(InterfaceUsbSerial);
  }
  void interfaceChoice() {
    QFETCH(int, click);
    QFETCH(Leave, how);
    QFETCH(int, kind);
    CInterfaceSelectDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Orvane Reader Bootload Software"));
    const char* captions[3] = {"USB HID / USB KB / RS232", "TLS", "TCP / IP"};
    for (int selection = 0; selection < 3; ++selection) {
      QCOMPARE(dialog.RadioButton(selection)->text(), QString::fromLatin1(captions[selection]));
      if (selection > 0) QVERIFY(dialog.RadioButton(selection)->y() > dialog.RadioButton(selection - 1)->y());
    }
    QVERIFY(dialog.RadioButton(0)->isChecked());
    OnNextModal([&dialog, click, how](QWidget* modal) {
      QVERIFY(dialog.OkButton()->isVisible() && dialog.OkButton()->isDefault() && !dialog.CancelButton()->isVisible());
      if (click == 2) QTest::mouseClick(dialog.RadioButton(1), Qt::LeftButton, {}, QPoint(5, 8));  // a detour first
      if (click >= 0) QTest::mouseClick(dialog.RadioButton(click), Qt::LeftButton, {}, QPoint(5, 8));
      LeaveDialog(modal, how);
    });
    dialog.exec();
    QCOMPARE(int(dialog.ChosenInterface().value_or(InterfaceUsbSerial)), kind);
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
  void helpWidthSearch_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("long paragraph, three lines") << 1000 << 100 << 800 << 334 << 60;
    QTest::newRow("one line at the middle") << 300 << 100 << 1000 << 300 << 20;
    QTest::newRow("stops one short of the lower bound") << 0 << 100 << 800 << 101 << 20;
    QTest::newRow("empty range measured once") << 1000 << 100 << 80 << 90 << 240;
  }
  void helpWidthSearch() {
    QFETCH(int, length);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, width);
    QFETCH(int, height);
    int calls = 0;
    HelpFit fit = FitHelpWidth(
        [&](int w) {
          ++calls;
          return length > 0 ? 20 * ((length + w - 1) / w) : 20;
        },
        lower, upper);
    QCOMPARE(fit.width, width);
    QCOMPARE(fit.height, height);
    QVERIFY(calls <= 12);
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
  }

  void helpMissingDocumentShowsTheRedInternalError_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("detail");
    QTest::newRow("not in the resources") << QStringLiteral(":/help/missing.html")
                                         << QStringLiteral("Failed to load RTF from resources, check your code!");
    QTest::newRow("none given") << QString()
                                << QStringLiteral("no RTF ID set in constructor AND no RTF File Loaded, check your code!");
  }
  void helpMissingDocumentShowsTheRedInternalError() {
    QFETCH(QString, path);
    QFETCH(QString, detail);
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
};

QTEST_MAIN(TestDialogs)
#include "dialogs_test.moc"
