// The main update view as the operator sees it before any run: texts, rows
// and colours, a form where nothing overlaps or is cut off (pictures go to
// the build folder's ui-pictures), the keyboard filter, the model box, the
// folder browsers and the port box.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTest>

#include "configuration_view_rig.h"
#include "firmware/module_writer.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_frame.h"
#include "ui/main_update_view.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"
#include "update/interface_kind.h"

using namespace orvane;
using namespace orvane::test;

namespace {

QString ShownText(QWidget* control) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  return QString();
}

// Saves a picture of the window, then checks that every shown control lies
// inside the view and apart from the others (those of the file list inside
// its group box), and that every text and column caption fits.
void CheckLayout(ConfigurationViewRig& rig, const QString& name) {
  QDir().mkpath(QStringLiteral(ORVANE_PICTURE_DIR));
  QVERIFY(rig.frame()->grab().save(QStringLiteral(ORVANE_PICTURE_DIR "/configuration_view_%1.png").arg(name)));
  const ViewForm& form = rig.view()->form();
  QList<QWidget*> shown;
  for (QWidget* control : rig.view()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!control->isVisible()) continue;
    QVERIFY2(rig.view()->rect().contains(control->geometry()), qPrintable(ShownText(control)));
    for (QWidget* other : shown) {
      QWidget* inner = other == form.group ? control : control == form.group ? other : nullptr;
      const QRect overlap = other->geometry().intersected(control->geometry());
      const bool allowed = inner != nullptr && (form.group->geometry().contains(inner->geometry()) || overlap.height() <= 2);
      QVERIFY2(overlap.isEmpty() || allowed, qPrintable(ShownText(control) + " / " + ShownText(other)));
    }
    shown << control;
    const QString text = ShownText(control);
    if (text.isEmpty() || control == form.deviceInfo) continue;
    int needed = QFontMetrics(control->font()).horizontalAdvance(text);
    if (qobject_cast<CXPButton*>(control)) {
      needed += 2 * CXPButton::kEdge + 4;
    } else if (qobject_cast<QAbstractButton*>(control)) {
      needed += control->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) +
                control->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
    }
    QVERIFY2(needed <= control->width(), qPrintable(QStringLiteral("%1: %2 > %3").arg(text).arg(needed).arg(control->width())));
  }
  QVERIFY(form.deviceInfo->heightForWidth(form.deviceInfo->width()) <= form.deviceInfo->height());
  for (int column = 0; column < form.list->columnCount(); ++column) {
    const QString caption = form.list->horizontalHeaderItem(column)->text();
    QVERIFY2(QFontMetrics(form.list->horizontalHeader()->font()).horizontalAdvance(caption) + 8 <=
                 form.list->columnWidth(column), qPrintable(caption));
  }
}

}  // namespace

Q_DECLARE_METATYPE(InterfaceAnswer)

class TestConfigurationView : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { g_bModelVariant.store(false); }

  // The interface dialog comes before the rows and the detection; then the
  // captions, rows in folder order with their info texts and unticked boxes,
  // the form's colour, and the frame at the start-up view's size. A closed
  // view is no longer registered.
  void formAsTheOperatorSeesIt() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 4, "Main V2");
    rig.AddKernelModule("app_nfcrd_l2_amex.fm", 3000);
    rig.AddUniAppModule("wallet.fm", 2000);
    bool emptyAndQuietDuringDialog = false;
    rig.beforeInterfaceAnswer = [&](QWidget*) {
      emptyAndQuietDuringDialog = rig.RowCount() == 0 && !rig.view()->engine().monitorRunFlag() && g_pConfigView.load() == rig.view();
    };
    QVERIFY(rig.Start());
    QVERIFY(emptyAndQuietDuringDialog);
    const ViewForm& form = rig.view()->form();
    QCOMPARE(form.group->title(), QStringLiteral("File List"));
    QCOMPARE(form.deviceLabel->text(), QStringLiteral("Device Information"));
    QCOMPARE(form.selectAll->text(), QStringLiteral("Select All"));
    QCOMPARE(form.reloadFirmware->text(), QStringLiteral("Reload Firmware File Path"));
    QCOMPARE(form.update->text(), QStringLiteral("Update"));
    QCOMPARE(rig.DeviceInfoText(), QStringLiteral("Device Not be Connected"));
    QVERIFY(!form.tlsBox->isVisible() && !form.tlsBox->isEnabled() && !form.reloadKernel->isVisible());
    QStringList captions;
    for (int column = 0; column < 3; ++column) captions << form.list->horizontalHeaderItem(column)->text();
    QCOMPARE(captions, (QStringList{"Please select the module file to update", "Status", "Info"}));
    QCOMPARE(rig.RowCount(), 3);
    QCOMPARE(rig.RowText(0, 0), QStringLiteral("app_main.fm"));
    QCOMPARE(rig.RowText(0, 2), QStringLiteral("Main V2"));
    QCOMPARE(rig.RowText(1, 2), QStringLiteral("Kernel"));
    QCOMPARE(rig.RowText(2, 2), QStringLiteral("UniApp"));
    for (int row = 0; row < 3; ++row) QVERIFY(!form.list->GetCheck(row) && rig.RowText(row, 1).isEmpty());
    const QImage picture = rig.view()->grab().toImage();
    QCOMPARE(picture.pixelColor(600, 440), QColor(180, 200, 200));
    QCOMPARE(picture.pixelColor(5, 5), QColor(180, 200, 200));
    QCOMPARE(rig.frame()->centralWidget()->size(), QSize(680, 446));
    QVERIFY(rig.view()->width() >= 656 && rig.view()->height() >= 464);

    form.list->SetCheck(1, true);
    QTest::mouseClick(form.selectAll, Qt::LeftButton);
    for (int row = 0; row < 3; ++row) QVERIFY(form.list->GetCheck(row));
    QTest::mouseClick(form.selectAll, Qt::LeftButton);
    for (int row = 0; row < 3; ++row) QVERIFY(!form.list->GetCheck(row));
    rig.Close();
    QVERIFY(g_pConfigView.load() == nullptr);
  }

  // Texts from the reader are shown as they are, never as markup; a long one
  // wraps below the form; "4710" after the first character brings the model
  // box, whose tick reaches the engine.
  void readerTextsAreNotMarkup() {
    ConfigurationViewRig rig;
    rig.UseReader([&](sim::ReaderOptions& o) { o.applicationVersion = "<b>4710</b>\x01V2 " + std::string(120, 'W'); });
    QVERIFY(rig.StartReady());
    QTRY_VERIFY(rig.DeviceInfoText().startsWith(QStringLiteral("Application Mode, ")));
    QCOMPARE(rig.view()->form().deviceInfo->textFormat(), Qt::PlainText);
    QVERIFY(rig.DeviceInfoText().contains(QStringLiteral("<b>4710</b> V2")));
    QCOMPARE(rig.DeviceInfoText().count(QLatin1Char('W')), 120);
    QVERIFY(rig.view()->form().deviceInfo->height() > 38);
    QTRY_VERIFY(rig.view()->form().modelBox->isVisible());
    CheckLayout(rig, QStringLiteral("long_reader_text"));
    QTest::mouseClick(rig.view()->form().modelBox, Qt::LeftButton);
    QVERIFY(rig.view()->engine().modelBoxTicked());
  }

  // Ctrl+A, C, F, V, X, Y and Z do nothing inside the view: neither the
  // focused control nor a shortcut of the frame sees them.
  void ctrlLettersAreSwallowed() {
    ConfigurationViewRig rig;
    rig.AddAppModule("first.fm", true, 2);
    rig.AddAppModule("second.fm", true, 2);
    QVERIFY(rig.Start());
    CListCtrlEx* list = rig.view()->form().list;
    list->activateWindow();
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    for (char letter : {'A', 'C', 'F', 'V', 'X', 'Y', 'Z', 'B', 'Q'}) {
      const bool swallowed = letter != 'B' && letter != 'Q';
      const auto key = Qt::Key(Qt::Key_A + (letter - 'A'));
      QAction shortcut(rig.frame());
      shortcut.setShortcut(QKeySequence(Qt::ControlModifier | key));
      rig.frame()->addAction(&shortcut);
      int fired = 0;
      connect(&shortcut, &QAction::triggered, [&] { ++fired; });
      list->setCurrentCell(0, 0);
      list->clearSelection();
      QApplication::clipboard()->setText(QStringLiteral("before"));
      QTest::keyClick(list, key, Qt::ControlModifier);
      QVERIFY2(fired == (swallowed ? 0 : 1), std::string(1, letter).c_str());
      if (!swallowed) continue;
      QVERIFY(list->selectedItems().isEmpty());
      QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    }
    QTest::keyClick(list, Qt::Key_Down);  // other keys still reach the list
    QCOMPARE(list->currentRow(), 1);
  }

  // The folder browsers: the title, then a rebuilt list (application, kernel,
  // UniApp rows); cancelling changes nothing.
  void folderBrowsersRebuildTheList_data() {
    QTest::addColumn<bool>("kernelButton");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("application folder") << false << false << QStringList{"b_app.fm", "c_bootloader.fm", "app_ct_l2.fm", "wallet.fm"};
    QTest::newRow("kernel folder, not \"app_\" skipped") << true << false << QStringList{"app_main.fm", "app_nfcrd_l2_cup.fm", "wallet.fm"};
    QTest::newRow("cancelled") << true << true << QStringList{"app_main.fm", "app_ct_l2.fm", "wallet.fm"};
    QTest::newRow("application cancelled") << false << true << QStringList{"app_main.fm", "app_ct_l2.fm", "wallet.fm"};
  }
  void folderBrowsersRebuildTheList() {
    QFETCH(bool, kernelButton);
    QFETCH(bool, cancel);
    QFETCH(QStringList, rows);
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 2);
    rig.AddKernelModule("app_ct_l2.fm", 100);
    rig.AddUniAppModule("wallet.fm", 100);
    TempDir other;
    if (kernelButton) {
      QVERIFY(WriteRawModuleFile(other.File("app_nfcrd_l2_cup.fm"), 100));
      QVERIFY(WriteRawModuleFile(other.File("kernel_x.fm"), 100));
    } else {
      ModuleSpec spec;
      spec.securityType = "pci   ";
      QVERIFY(WriteModuleFile(other.File("b_app.fm"), spec) && WriteModuleFile(other.File("c_bootloader.fm"), spec));
    }
    QVERIFY(rig.StartReady());
    QString title;
    OnNextModal([&](QWidget* dialog) {
      title = dialog->windowTitle();
      auto* browser = qobject_cast<QFileDialog*>(dialog);
      if (cancel || browser == nullptr) return dialog->close(), void();
      // Nothing selected inside it: the browser returns the folder it shows.
      browser->setDirectory(QString::fromStdString(other.path()));
      static_cast<QDialog*>(browser)->accept();
    });
    const ViewForm& form = rig.view()->form();
    (kernelButton ? form.reloadKernel : form.reloadFirmware)->click();
    QCOMPARE(title, kernelButton ? QStringLiteral("Please Select the Kernel Path")
                                 : QStringLiteral("Please Select the Application Path"));
    QStringList names;
    for (int row = 0; row < rig.RowCount(); ++row) names << rig.RowText(row, 0);
    QCOMPARE(names, rows);
    QVERIFY(!form.reloadKernel->isVisible());
  }

  // The port box and its label for the network interfaces, showing the
  // configured port and never editable; waiting for the peer leaves the
  // buttons disabled and the status blinking.
  void portBoxFollowsTheInterfaceChoice_data() {
    QTest::addColumn<InterfaceAnswer>("answer");
    QTest::addColumn<int>("kind");
    QTest::newRow("local") << InterfaceAnswer::Local << int(InterfaceUsbSerial);
    QTest::newRow("Escape") << InterfaceAnswer::Escape << int(InterfaceUsbSerial);
    QTest::newRow("TLS") << InterfaceAnswer::Tls << int(InterfaceTlsServer);
    QTest::newRow("TCP / IP") << InterfaceAnswer::Tcp << int(InterfaceTcpClient);
  }
  void portBoxFollowsTheInterfaceChoice() {
    QFETCH(InterfaceAnswer, answer);
    QFETCH(int, kind);
    ConfigurationViewRig rig;
    // Free ports: nobody answers there, so the view keeps waiting for its peer.
    rig.tlsPort = QString::number(FreeLoopbackPort());
    rig.tcpPort = QString::number(FreeLoopbackPort());
    QVERIFY(rig.Start(answer));
    const ViewForm& form = rig.view()->form();
    const bool shown = kind != int(InterfaceUsbSerial);
    QCOMPARE(int(g_nInterfaceKind.load()), kind);
    QCOMPARE(form.port->isVisible(), shown);
    QCOMPARE(form.portLabel->isVisible(), shown);
    QVERIFY(!shown || !form.port->isEnabled());
    const QString port = answer == InterfaceAnswer::Tls ? rig.tlsPort : answer == InterfaceAnswer::Tcp ? rig.tcpPort
                                                                                                      : "1443";
    QCOMPARE(form.port->text(), port);
    QVERIFY(!form.update->isEnabled());
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Not Ready"));
    CheckLayout(rig, QStringLiteral("interface_%1").arg(kind));
  }
};

QTEST_MAIN(TestConfigurationView)
#include "configuration_view_test.moc"
