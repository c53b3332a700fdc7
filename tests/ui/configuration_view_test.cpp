// The main update view's form and its reactions that need no update run:
// where every control sits, the keyboard filter, WM_VIEW_REFRESH 2, the
// Update button with nothing ticked, the folder browsers and the port box.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include "configuration_view_rig.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"
#include "ui/main_update_view.h"
#include "ui/control_id.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_frame.h"
#include "ui/window_messages.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"
#include "update/interface_kind.h"

using namespace orvane;
using namespace orvane::test;

namespace {

constexpr uint32_t kViewRefresh = 0x465;

int FreeLocalPort() {
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) return 0;
  return server.serverPort();
}

// Waits (in real time) until the reader has been found and the view shows it.
bool WaitUntilReady(ConfigurationViewRig& rig) {
  return QTest::qWaitFor([&] { return rig.view()->engine().ready() && rig.ControlsEnabled(true); }, 10000);
}

void Post(CViewConfiguration* view, uint32_t message, int64_t lParam) {
  PostUserMessage(view, static_cast<QEvent::Type>(message), 0, static_cast<intptr_t>(lParam));
}

}  // namespace

Q_DECLARE_METATYPE(InterfaceAnswer)

class TestConfigurationView : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { g_bModelVariant.store(false); }

  // Every control at its place (2 pixels per dialog unit), with its caption,
  // and shown or hidden as the form creates it.
  void formControlsSitWhereTheFormPutsThem_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("visible");
    QTest::newRow("Q450") << 1025 << QRect(20, 12, 56, 20) << "Q450" << false;
    QTest::newRow("Select All") << 1022 << QRect(20, 38, 86, 18) << "Select All" << true;
    QTest::newRow("firmware path") << 1215 << QRect(220, 22, 200, 32) << "Reload Firmware File Path" << true;
    QTest::newRow("kernel path") << 1077 << QRect(434, 22, 200, 32) << "Reload Kernel File Path" << false;
    QTest::newRow("port label") << 1083 << QRect(116, 12, 74, 16) << "TLS Port:" << false;
    QTest::newRow("port box") << 1082 << QRect(118, 34, 62, 24) << "" << false;
    QTest::newRow("TLS") << 1020 << QRect(182, 36, 96, 18) << "TLS" << false;
    QTest::newRow("file list") << 1072 << QRect(14, 60, 630, 232) << "" << true;
    QTest::newRow("status line") << 1075 << QRect(10, 296, 640, 52) << "" << true;
    QTest::newRow("Update") << 1071 << QRect(146, 350, 344, 44) << "Update" << true;
    QTest::newRow("picture") << 1079 << QRect(12, 372, 80, 80) << "" << true;
  }
  void formControlsSitWhereTheFormPutsThem() {
    QFETCH(int, id);
    QFETCH(QRect, place);
    QFETCH(QString, caption);
    QFETCH(bool, visible);
    ConfigurationViewRig rig;
    QVERIFY(rig.Start());
    QWidget* control = FindControl(rig.view(), id);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), place);
    QCOMPARE(control->isVisible(), visible);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) QCOMPARE(button->text(), caption);
    if (auto* label = qobject_cast<QLabel*>(control); label && !caption.isEmpty()) QCOMPARE(label->text(), caption);
  }

  void formLabelsGroupAndHiddenControls() {
    ConfigurationViewRig rig;
    QVERIFY(rig.Start());
    const ViewForm& form = rig.view()->form();
    QCOMPARE(form.group->title(), QStringLiteral("File List"));
    QCOMPARE(form.group->geometry(), QRect(10, 0, 640, 298));
    QCOMPARE(form.deviceLabel->text(), QStringLiteral("Device Information"));
    QCOMPARE(form.deviceLabel->geometry(), QRect(134, 400, 150, 18));
    // The device line keeps its place and width; it may only grow downwards.
    QCOMPARE(form.deviceInfo->geometry().topLeft(), QPoint(134, 420));
    QCOMPARE(form.deviceInfo->width(), 512);
    QVERIFY(form.deviceInfo->height() >= 38);
    // "TLS" is never shown nor enabled; the kernel-path button is never shown.
    QVERIFY(!form.tlsBox->isVisible());
    QVERIFY(!form.tlsBox->isEnabled());
    QVERIFY(!form.reloadKernel->isVisible());
    // Buttons are the program's own.
    QVERIFY(qobject_cast<CXPButton*>(FindControl(rig.view(), 1071)) != nullptr);
    QVERIFY(qobject_cast<CXPButton*>(FindControl(rig.view(), 1215)) != nullptr);
    QVERIFY(qobject_cast<CXPButton*>(FindControl(rig.view(), 1077)) != nullptr);
    // The status line: Arial bold with a 36-pixel cell, centred; the Update
    // button bold and larger than the path buttons.
    QCOMPARE(form.status->font().family(), QStringLiteral("Arial"));
    QVERIFY(form.status->font().bold() && (form.status->alignment() & Qt::AlignHCenter));
    QVERIFY(qAbs(QFontMetrics(form.status->font()).height() - 36) <= 3);
    QVERIFY(form.update->font().bold() && !form.reloadFirmware->font().bold());
    QVERIFY(form.update->font().pixelSize() > form.reloadFirmware->font().pixelSize());
    // The frame keeps the size the start-up view gave it; the view keeps its
    // form's size and scrolls in the client area.
    QCOMPARE(rig.frame()->centralWidget()->size(), QSize(680, 446));
    QVERIFY(rig.view()->width() >= 656 && rig.view()->height() >= 464);
  }

  void fileListColumnsAndStyles() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 4, "Main V2");
    rig.AddKernelModule("app_nfcrd_l2_amex.fm", 3000);
    rig.AddUniAppModule("wallet.fm", 2000);
    QVERIFY(rig.Start());
    CListCtrlEx* list = rig.view()->form().list;
    QCOMPARE(list->columnCount(), 3);
    const char* captions[] = {"Please select the module file to update", "Status", "Info"};
    const int widths[] = {280, 150, 160};
    for (int column = 0; column < 3; ++column) {
      QCOMPARE(list->horizontalHeaderItem(column)->text(), QString::fromLatin1(captions[column]));
      QCOMPARE(list->columnWidth(column), widths[column]);
    }
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->ProgressColumn(), 1);
    // Rows in folder order with their info texts and an unticked box each.
    QCOMPARE(rig.RowCount(), 3);
    QCOMPARE(rig.RowText(0, 0), QStringLiteral("app_main.fm"));
    QCOMPARE(rig.RowText(0, 2), QStringLiteral("Main V2"));
    QCOMPARE(rig.RowText(1, 2), QStringLiteral("Kernel"));
    QCOMPARE(rig.RowText(2, 2), QStringLiteral("UniApp"));
    for (int row = 0; row < 3; ++row) {
      QVERIFY(list->item(row, 0)->flags() & Qt::ItemIsUserCheckable);
      QVERIFY(!list->GetCheck(row));
      QVERIFY(rig.RowText(row, 1).isEmpty());
    }
  }

  // The initial update: the interface dialog first, with no rows listed and
  // no detection running yet; then the module files, then the detection.
  void initialUpdateAsksForTheInterfaceFirst() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 2);
    int rowsDuringDialog = -1;
    bool blinkingDuringDialog = true;
    bool registeredDuringDialog = false;
    rig.beforeInterfaceAnswer = [&](QWidget*) {
      rowsDuringDialog = rig.RowCount();
      blinkingDuringDialog = rig.view()->blinkTimer()->isActive();
      registeredDuringDialog = g_pConfigView.load() == rig.view();
    };
    QVERIFY(rig.Start());
    QCOMPARE(rowsDuringDialog, 0);
    QVERIFY(!blinkingDuringDialog);
    QVERIFY(registeredDuringDialog);
    QCOMPARE(rig.RowCount(), 1);
    QVERIFY(rig.view()->blinkTimer()->isActive());
    QCOMPARE(rig.DeviceInfoText(), QStringLiteral("Device Not be Connected"));
    // The form's colour behind everything that is not a control.
    const QImage picture = rig.view()->grab().toImage();
    QCOMPARE(picture.pixelColor(600, 440), QColor(180, 200, 200));
    QCOMPARE(picture.pixelColor(5, 5), QColor(180, 200, 200));
    rig.Close();
    QVERIFY(g_pConfigView.load() == nullptr);
  }

  void selectAllTicksAndClearsEveryRow() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 2);
    rig.AddKernelModule("app_ct_l2.fm", 100);
    rig.AddUniAppModule("wallet.fm", 100);
    QVERIFY(rig.Start());
    CListCtrlEx* list = rig.view()->form().list;
    list->SetCheck(1, true);
    QTest::mouseClick(rig.view()->form().selectAll, Qt::LeftButton);
    for (int row = 0; row < 3; ++row) QVERIFY(list->GetCheck(row));
    QTest::mouseClick(rig.view()->form().selectAll, Qt::LeftButton);
    for (int row = 0; row < 3; ++row) QVERIFY(!list->GetCheck(row));
  }

  // Texts from the reader are shown as they are, never as markup.
  void readerTextsAreNotMarkup() {
    ConfigurationViewRig rig;
    sim::ReaderOptions options;
    options.applicationVersion = "<b>4710</b>\x01V2 " + std::string(120, 'W');
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    QTRY_VERIFY(rig.DeviceInfoText().startsWith(QStringLiteral("Application Mode, ")));
    QCOMPARE(rig.view()->form().deviceInfo->textFormat(), Qt::PlainText);
    QVERIFY(rig.DeviceInfoText().contains(QStringLiteral("<b>4710</b> V2")));
    // A long version wraps onto more lines below the form rather than being cut off.
    QLabel* line = rig.view()->form().deviceInfo;
    QCOMPARE(rig.DeviceInfoText().count(QLatin1Char('W')), 120);
    QVERIFY(line->height() > 38);
    QVERIFY(line->heightForWidth(line->width()) <= line->height());
    QVERIFY(QFontMetrics(line->font()).boundingRect(QRect(0, 0, line->width(), 10000), Qt::TextWordWrap,
                                                    line->text()).width() <= line->width());
    // "4710" after the first character: the model box appears, and its tick reaches the engine.
    QTRY_VERIFY(rig.view()->form().modelBox->isVisible());
    QTest::mouseClick(rig.view()->form().modelBox, Qt::LeftButton);
    QVERIFY(rig.view()->engine().modelBoxTicked());
  }

  // Ctrl+A, C, F, V, X, Y and Z do nothing inside the view: neither the
  // focused control nor a shortcut of the frame sees them.
  void ctrlLettersAreSwallowed_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("swallowed");
    for (char letter : {'A', 'C', 'F', 'V', 'X', 'Y', 'Z'}) {
      QTest::newRow(qPrintable(QStringLiteral("Ctrl+%1").arg(letter))) << int(Qt::Key_A + (letter - 'A')) << true;
    }
    QTest::newRow("Ctrl+B") << int(Qt::Key_B) << false;
    QTest::newRow("Ctrl+Q") << int(Qt::Key_Q) << false;
  }
  void ctrlLettersAreSwallowed() {
    QFETCH(int, key);
    QFETCH(bool, swallowed);
    ConfigurationViewRig rig;
    rig.AddAppModule("first.fm", true, 2);
    rig.AddAppModule("second.fm", true, 2);
    QVERIFY(rig.Start());
    QAction shortcut(rig.frame());
    shortcut.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key(key)));
    rig.frame()->addAction(&shortcut);
    int fired = 0;
    connect(&shortcut, &QAction::triggered, [&] { ++fired; });

    CListCtrlEx* list = rig.view()->form().list;
    list->activateWindow();
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    list->setCurrentCell(0, 0);
    list->clearSelection();
    QTest::keyClick(list, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(fired, swallowed ? 0 : 1);
    if (swallowed) QVERIFY(list->selectedItems().isEmpty());
  }

  void ctrlCInTheFileListCopiesNothing() {
    ConfigurationViewRig rig;
    rig.AddAppModule("first.fm", true, 2);
    rig.AddAppModule("second.fm", true, 2);
    QVERIFY(rig.Start());
    CListCtrlEx* list = rig.view()->form().list;
    list->setFocus();
    list->setCurrentCell(0, 0);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    list->clearSelection();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(list->selectedItems().isEmpty());
    // Other keys still reach the list.
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 1);
  }

  // Sub-command 2 only shows or hides the model box; 0 also moves the
  // member values into the controls.
  void viewRefresh2OnlyShowsOrHidesTheModelBox() {
    ConfigurationViewRig rig;
    QVERIFY(rig.Start());
    CViewConfiguration* view = rig.view();
    // Keep the blinking status from writing over the marker.
    view->blinkTimer()->stop();
    const ViewForm& form = view->form();
    form.status->setText(QStringLiteral("marker"));
    form.deviceInfo->setText(QStringLiteral("marker"));

    g_bModelVariant.store(true);
    Post(view, kViewRefresh, 2);
    QTRY_VERIFY(form.modelBox->isVisible());
    QCOMPARE(form.status->text(), QStringLiteral("marker"));
    QCOMPARE(form.deviceInfo->text(), QStringLiteral("marker"));

    g_bModelVariant.store(false);
    Post(view, kViewRefresh, 2);
    QTRY_VERIFY(!form.modelBox->isVisible());
    QCOMPARE(form.status->text(), QStringLiteral("marker"));

    Post(view, kViewRefresh, 0);
    QTRY_COMPARE(form.deviceInfo->text(), QStringLiteral("Device Not be Connected"));
    QVERIFY(form.status->text() != QStringLiteral("marker"));
  }

  void updateWithNothingTickedShowsTheMessageBox() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 4);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    MessageBoxRecorder boxes;
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Please select the file to update."));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Orvane Reader Bootload Software"));
    QVERIFY(!rig.view()->engine().UpdateRunning());
    QVERIFY(rig.ControlsEnabled(true));
    QVERIFY(rig.reader().Loads().empty());
  }

  // The folder browsers: the title, then a rebuilt list (application, kernel,
  // UniApp rows, numbered from 0 again); cancelling changes nothing.
  void folderBrowsersRebuildTheList_data() {
    QTest::addColumn<bool>("kernelButton");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("application folder") << false << false;
    QTest::newRow("application folder, cancelled") << false << true;
    QTest::newRow("kernel folder") << true << false;
    QTest::newRow("kernel folder, cancelled") << true << true;
  }
  void folderBrowsersRebuildTheList() {
    QFETCH(bool, kernelButton);
    QFETCH(bool, cancel);
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 2);
    rig.AddKernelModule("app_ct_l2.fm", 100);
    rig.AddUniAppModule("wallet.fm", 100);
    TempDir other;
    if (kernelButton) {
      QVERIFY(WriteRawModuleFile(other.File("app_nfcrd_l2_cup.fm"), 100));
      QVERIFY(WriteRawModuleFile(other.File("kernel_x.fm"), 100));  // not "app_": not listed
    } else {
      ModuleSpec spec;
      spec.securityType = "pci   ";
      spec.infoText = "Other";
      QVERIFY(WriteModuleFile(other.File("b_app.fm"), spec));
      QVERIFY(WriteModuleFile(other.File("c_bootloader.fm"), spec));
    }
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    QCOMPARE(rig.RowCount(), 3);

    QString title;
    OnNextModal([&](QWidget* dialog) {
      title = dialog->windowTitle();
      auto* browser = qobject_cast<QFileDialog*>(dialog);
      if (cancel || browser == nullptr) {
        dialog->close();
        return;
      }
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
    if (cancel) {
      QCOMPARE(names, (QStringList{"app_main.fm", "app_ct_l2.fm", "wallet.fm"}));
    } else if (kernelButton) {
      QCOMPARE(names, (QStringList{"app_main.fm", "app_nfcrd_l2_cup.fm", "wallet.fm"}));
    } else {
      QCOMPARE(names, (QStringList{"b_app.fm", "c_bootloader.fm", "app_ct_l2.fm", "wallet.fm"}));
    }
    // The kernel-path button is used but never shown.
    QVERIFY(!form.reloadKernel->isVisible());
  }

  // The interface choice: the port box and its label for the network
  // interfaces, showing the configured port and never editable.
  void portBoxFollowsTheInterfaceChoice_data() {
    QTest::addColumn<InterfaceAnswer>("answer");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("kind");
    QTest::newRow("local") << InterfaceAnswer::Local << false << int(InterfaceUsbSerial);
    QTest::newRow("Escape") << InterfaceAnswer::Escape << false << int(InterfaceUsbSerial);
    QTest::newRow("TLS") << InterfaceAnswer::Tls << true << int(InterfaceTlsServer);
    QTest::newRow("TCP / IP") << InterfaceAnswer::Tcp << true << int(InterfaceTcpClient);
  }
  void portBoxFollowsTheInterfaceChoice() {
    QFETCH(InterfaceAnswer, answer);
    QFETCH(bool, shown);
    QFETCH(int, kind);
    ConfigurationViewRig rig;
    // Free ports: nobody answers there, so the view keeps waiting for its peer.
    rig.tlsPort = QString::number(FreeLocalPort());
    rig.tcpPort = QString::number(FreeLocalPort());
    QVERIFY(rig.Start(answer));
    const ViewForm& form = rig.view()->form();
    QCOMPARE(int(g_nInterfaceKind.load()), kind);
    QCOMPARE(form.port->isVisible(), shown);
    QCOMPARE(form.portLabel->isVisible(), shown);
    if (shown) QVERIFY(!form.port->isEnabled());
    if (answer == InterfaceAnswer::Tls) QCOMPARE(form.port->text(), rig.tlsPort);
    if (answer == InterfaceAnswer::Tcp) QCOMPARE(form.port->text(), rig.tcpPort);
    if (!shown) QCOMPARE(form.port->text(), QStringLiteral("1443"));
    // Waiting for the peer leaves the buttons disabled and the status blinking.
    QVERIFY(!form.update->isEnabled());
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Not Ready"));
  }
};

QTEST_MAIN(TestConfigurationView)
#include "configuration_view_test.moc"
