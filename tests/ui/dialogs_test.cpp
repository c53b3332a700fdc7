// The About box, the file confirmation and the interface selection.

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <thread>

#include "ui/about_dlg.h"
#include "ui/control_id.h"
#include "ui/file_confirm_dlg.h"
#include "ui/interface_select_dlg.h"
#include "ui/message_box.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using orvane::test::OnNextModal;

namespace {

enum class Leave { Escape, Enter, CancelButton, ContinueButton, CloseBox };

void LeaveDialog(QWidget* dialog, Leave how) {
  switch (how) {
    case Leave::Escape:
      QTest::keyClick(dialog, Qt::Key_Escape);
      break;
    case Leave::Enter:
      QTest::keyClick(dialog, Qt::Key_Return);
      break;
    case Leave::CancelButton:
      QTest::mouseClick(FindControl<QPushButton>(dialog, 2), Qt::LeftButton);
      break;
    case Leave::ContinueButton:
      QTest::mouseClick(FindControl<QPushButton>(dialog, 1), Qt::LeftButton);
      break;
    case Leave::CloseBox:
      dialog->close();
      break;
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

  void confirmationShowsTheSelectionText() {
    CFileConfirmDlg dialog;
    const QString text = QStringLiteral(
        "Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tNone\r\nKernel file list:\r\n\tapp_ct_l2.fm\r\n"
        "\r\nUni-App file list:\r\n\tNone");
    dialog.SetText(text);
    QCOMPARE(dialog.Text(), text);
    auto* edit = FindControl<QPlainTextEdit>(&dialog, 1081);
    QVERIFY(edit != nullptr);
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->toPlainText().split(QLatin1Char('\n')).size(), 9);
    QVERIFY(!edit->toPlainText().contains(QLatin1Char('\r')));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Selected File Confirmation"));
    QCOMPARE(FindControl<QLabel>(&dialog, 1080)->text(), QStringLiteral("Please confirm the file selection:"));
    QCOMPARE(dialog.size(), QSize(480, 360));
    QVERIFY(qobject_cast<CXPButton*>(FindControl<QPushButton>(&dialog, 1)) != nullptr);
    QCOMPARE(FindControl<QPushButton>(&dialog, 1)->text(), QStringLiteral("Continue"));
    QCOMPARE(FindControl<QPushButton>(&dialog, 2)->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.ContinueButton()->font().family(), QStringLiteral("Arial"));
    QVERIFY(dialog.ContinueButton()->font().bold());
  }

  void interfaceRadioButtonsInOrder() {
    CInterfaceSelectDlg dialog;
    const int ids[3] = {1084, 1085, 1086};
    const char* captions[3] = {"USB HID / USB KB / RS232", "TLS", "TCP / IP"};
    int lastTop = -1;
    for (int selection = 0; selection < 3; ++selection) {
      QRadioButton* radio = dialog.RadioButton(selection);
      QCOMPARE(ControlId(radio), ids[selection]);
      QCOMPARE(radio->text(), QString::fromLatin1(captions[selection]));
      QVERIFY(radio->y() > lastTop);  // top to bottom in this order
      lastTop = radio->y();
    }
    QVERIFY(dialog.RadioButton(0)->isChecked());
    QCOMPARE(dialog.Selection(), 0);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Orvane Reader Bootload Software"));
    dialog.show();
    QVERIFY(dialog.OkButton()->isVisible());
    QVERIFY(dialog.OkButton()->isDefault());
    QVERIFY(!dialog.CancelButton()->isVisible());
  }

  void interfaceChoice_data() {
    QTest::addColumn<int>("click");  // radio to click, -1 for none
    QTest::addColumn<Leave>("how");
    QTest::addColumn<int>("selection");
    QTest::addColumn<int>("kind");
    QTest::newRow("OK with the default") << -1 << Leave::Enter << 0 << 0;
    QTest::newRow("TLS") << 1 << Leave::Enter << 1 << 2;
    QTest::newRow("TCP / IP") << 2 << Leave::ContinueButton << 2 << 1;
    QTest::newRow("back to local") << 0 << Leave::Enter << 0 << 0;
    QTest::newRow("TLS, then Escape") << 1 << Leave::Escape << 1 << 0;
    QTest::newRow("TCP / IP, then the close box") << 2 << Leave::CloseBox << 2 << 0;
  }
  void interfaceChoice() {
    QFETCH(int, click);
    QFETCH(Leave, how);
    QFETCH(int, selection);
    QFETCH(int, kind);
    CInterfaceSelectDlg dialog;
    OnNextModal([&dialog, click, how](QWidget* modal) {
      if (click == 2) QTest::mouseClick(dialog.RadioButton(1), Qt::LeftButton, {}, QPoint(5, 8));  // a detour first
      if (click >= 0) QTest::mouseClick(dialog.RadioButton(click), Qt::LeftButton, {}, QPoint(5, 8));
      LeaveDialog(modal, how);
    });
    dialog.exec();
    QCOMPARE(dialog.Selection(), selection);
    QCOMPARE(int(dialog.ChosenInterface().value_or(InterfaceUsbSerial)), kind);
  }

  void aboutBox() {
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Orvane Reader Bootload Software"));
    // The product name and the version, and no other text.
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) texts << label->text();
    }
    texts.sort();
    QCOMPARE(texts, (QStringList{QStringLiteral("Orvane Reader Bootload Software"), QStringLiteral("Version 2.00.020")}));
    const auto pictures = about.findChildren<QLabel*>();
    QVERIFY(std::any_of(pictures.begin(), pictures.end(),
                        [](QLabel* label) { return label->pixmap().size() == QSize(237, 50); }));
    OnNextModal([](QWidget* modal) { LeaveDialog(modal, Leave::ContinueButton); });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
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
};

QTEST_MAIN(TestDialogs)
#include "dialogs_test.moc"
