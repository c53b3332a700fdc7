// The main update view with the program around it and a simulated reader, as
// the operator sees it: reader texts, the keyboard filter, the model box, the
// folder browsers and the port box; whole update runs with their progress,
// row marks and a window that keeps repainting (from the Update click on, on
// the real clock); and the problems that reach the operator in message boxes.

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHostAddress>
#include <QLineEdit>
#include <QTcpServer>
#include <QTest>
#include <filesystem>
#include <set>

#include "firmware/module_writer.h"
#include "support/links.h"
#include "support/test_certificate.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"
#include "update/interface_kind.h"

using namespace orvane;
using namespace orvane::test;

const QColor kRed(255, 0, 0);
const QColor kGreen(34, 177, 76);
const QColor kBlue(0, 0, 255);

enum class Situation { ReaderPresent, ReaderJustGone, KeyboardInterface };

Q_DECLARE_METATYPE(InterfaceAnswer)
Q_DECLARE_METATYPE(Situation)

class TestConfigurationView : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { g_bModelVariant.store(false); }

  // Before any run. Texts from the reader are shown as they are, never as
  // markup (control characters other than tabs and line breaks as blanks); a
  // long one wraps below the form; "4710" after the first character brings
  // the model box, whose tick reaches the engine. Ctrl+A, C, F, V, X, Y and Z
  // do nothing inside the view: neither the focused control (no Ctrl+A
  // selection) nor a shortcut of the frame sees them. The folder browsers:
  // the title, then a rebuilt list (application, kernel, UniApp rows);
  // cancelling changes nothing; the kernel browser skips files not named "app_".
  void readerTextsKeysAndFolderBrowsers() {
    ConfigurationViewRig rig;
    rig.AddModule(kAppFolderName, "app_main.fm", 2);
    rig.AddModule(kKernelFolderName, "app_ct_l2.fm", 100);
    rig.AddModule(kUniAppFolderName, "wallet.fm", 100);
    rig.readerOptions.applicationVersion = "<b>4710</b>\x01V2 " + std::string(120, 'W') + "\t";
    QVERIFY(rig.StartReady());
    QTRY_VERIFY(rig.DeviceInfoText().startsWith(QStringLiteral("Application Mode, ")));
    QCOMPARE(rig.form().deviceInfo->textFormat(), Qt::PlainText);
    QVERIFY(rig.DeviceInfoText().contains(QStringLiteral("<b>4710</b> V2")));
    QCOMPARE(rig.DeviceInfoText().count(QLatin1Char('W')), 120);
    QVERIFY(rig.form().deviceInfo->height() > 38);
    QTRY_VERIFY(rig.form().modelBox->isVisible());
    QTest::mouseClick(rig.form().modelBox, Qt::LeftButton);
    QVERIFY(rig.view()->engine().modelBoxTicked());

    CListCtrlEx* list = rig.form().list;
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
      list->clearSelection();
      QTest::keyClick(list, key, Qt::ControlModifier);
      QVERIFY2(fired == (swallowed ? 0 : 1) && list->selectedItems().isEmpty(), std::string(1, letter).c_str());
    }
    QTest::keyClick(list, Qt::Key_Down);  // other keys still reach the list
    QCOMPARE(list->currentRow(), 1);

    TempDir apps;
    TempDir kernels;
    QVERIFY(WriteRawModuleFile(kernels.File("app_nfcrd_l2_cup.fm"), 100) &&
            WriteRawModuleFile(kernels.File("kernel_x.fm"), 100));
    QVERIFY(WriteModuleFile(apps.File("b_app.fm"), ModuleSpec{}) &&
            WriteModuleFile(apps.File("c_bootloader.fm"), ModuleSpec{}));
    const auto browse = [&](CXPButton* button, const TempDir* folder, const QString& title) {
      QString shown;
      OnNextModal([&](QWidget* dialog) {
        shown = dialog->windowTitle();
        auto* browser = qobject_cast<QFileDialog*>(dialog);
        if (folder == nullptr || browser == nullptr) return dialog->close(), void();
        // Nothing selected inside it: the browser returns the folder it shows.
        browser->setDirectory(QString::fromStdString(folder->path()));
        static_cast<QDialog*>(browser)->accept();
      });
      button->click();
      QCOMPARE(shown, title);
    };
    const QString appTitle = QStringLiteral("Please Select the Application Path");
    const QString kernelTitle = QStringLiteral("Please Select the Kernel Path");
    browse(rig.form().reloadKernel, nullptr, kernelTitle);
    browse(rig.form().reloadFirmware, nullptr, appTitle);
    QCOMPARE(rig.Column(0), (QStringList{"app_main.fm", "app_ct_l2.fm", "wallet.fm"}));
    browse(rig.form().reloadFirmware, &apps, appTitle);
    QCOMPARE(rig.Column(0), (QStringList{"b_app.fm", "c_bootloader.fm", "app_ct_l2.fm", "wallet.fm"}));
    browse(rig.form().reloadKernel, &kernels, kernelTitle);
    QCOMPARE(rig.Column(0), (QStringList{"b_app.fm", "c_bootloader.fm", "app_nfcrd_l2_cup.fm", "wallet.fm"}));
  }

  // The interface choice: the port box and its label for the network
  // interfaces, showing the configured port and never editable; what keeps
  // the TLS server from starting reaches the operator in a message box;
  // waiting for the peer leaves Update disabled and the status "Device Not Ready".
  void interfaceChoiceAndPort_data() {
    QTest::addColumn<InterfaceAnswer>("answer");
    QTest::addColumn<bool>("certificate");
    QTest::addColumn<QString>("problem");
    QTest::newRow("Escape: local") << InterfaceAnswer::Escape << false << QString();
    QTest::newRow("TLS, no key") << InterfaceAnswer::Tls << false << QStringLiteral("load server_cert.pem failed");
    QTest::newRow("TLS, port taken") << InterfaceAnswer::Tls << true << QStringLiteral("Unable to listen on TLS port ");
    QTest::newRow("TCP / IP") << InterfaceAnswer::Tcp << false << QString();
  }
  void interfaceChoiceAndPort() {
    QFETCH(InterfaceAnswer, answer);
    QFETCH(bool, certificate);
    QFETCH(QString, problem);
    MessageBoxRecorder boxes;
    ConfigurationViewRig rig;
    QTcpServer holder;  // another program on the TLS port
    QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));
    rig.tlsPort = QString::number(holder.serverPort());
    rig.tcpPort = QString::number(FreeLoopbackPort());  // nobody answers there: the view keeps waiting
    if (certificate) QVERIFY(WriteTestCertificate(rig.programFolder()));
    QVERIFY(rig.Start(answer));
    const ViewForm& form = rig.form();
    const bool shown = answer != InterfaceAnswer::Escape;
    QCOMPARE(g_nInterfaceKind.load(), answer == InterfaceAnswer::Tls ? InterfaceTlsServer
                                      : shown                        ? InterfaceTcpClient
                                                                     : InterfaceUsbSerial);
    QCOMPARE(form.port->isVisible(), shown);
    QCOMPARE(form.portLabel->isVisible(), shown);
    QVERIFY(!shown || !form.port->isEnabled());
    QCOMPARE(form.port->text(), answer == InterfaceAnswer::Tls ? rig.tlsPort
                                : shown                        ? rig.tcpPort
                                                               : QStringLiteral("1443"));
    QVERIFY(!form.update->isEnabled());
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Not Ready"));
    if (problem.isEmpty()) return;
    QVERIFY(QTest::qWaitFor([&] { return !boxes.texts.empty(); }, 10000));
    QCOMPARE(boxes.texts.front(), certificate ? problem + rig.tlsPort : problem);
  }

  // Ticked rows, Update, "Continue": the rows show their progress bar while
  // the controls are disabled and the window keeps repainting, then
  // "Completed" in blue; the controls come back and the status tells the
  // result. The program folder takes no log here: the operator is told once
  // where it went instead.
  void updateRunShowsProgressThenCompleted() {
    MessageBoxRecorder boxes;
    TempDir state;
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.path()));
    ConfigurationViewRig rig;
    std::filesystem::create_directories(rig.programFolder() + "/ORV_Bootload_log.txt/kept");
    rig.AddModule(kAppFolderName, "app_main.fm", 40);
    rig.AddModule(kKernelFolderName, "app_ct_l2.fm", 3000);
    rig.AddModule(kUniAppFolderName, "wallet.fm", 1500);
    rig.readerOptions.answerDelayMs = 40;  // a transfer long enough to be watched
    QVERIFY(rig.StartReady());
    rig.TickRow(0);
    rig.TickRow(1);
    std::set<int> barRows;
    bool enabledDuringBar = false;
    CListCtrlEx* list = rig.form().list;
    RepaintProbe probe(list->viewport(), [&] {
      const int row = list->CurrentProgressRow();
      if (row < 0 || list->ProgressBarRect().isEmpty() || list->RowPercentage(row) % 100 == 0) return;
      enabledDuringBar |= !rig.ControlsEnabled(false);
      barRows.insert(row);
    });
    QCOMPARE(rig.UpdateConfirmed(),
             QStringLiteral("Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tapp_main.fm\r\n"
                            "Kernel file list:\r\n\tapp_ct_l2.fm\r\n\r\nUni-App file list:\r\n\tNone"));
    QVERIFY(rig.WaitUntilRunOver());
    probe.Stop();
    QCOMPARE(barRows, (std::set<int>{0, 1}));
    QVERIFY(!enabledDuringBar);
    QVERIFY(list->ProgressBarRect().isEmpty());
    QVERIFY2(probe.worstMs < 100, qPrintable(QStringLiteral("%1 ms without a repaint").arg(probe.worstMs)));
    QCOMPARE(rig.Column(1), (QStringList{"Completed", "Completed", ""}));
    QCOMPARE(rig.RowColour(0), kBlue);
    QCOMPARE(rig.RowColour(1), kBlue);
    QCOMPARE(rig.StatusText(), QStringLiteral("Update Succeeded"));
    QCOMPARE(rig.form().StatusColour(), kGreen);
    rig.Close();
    qunsetenv("XDG_STATE_HOME");
    const QString log = QString::fromStdString(state.path()) + QStringLiteral("/orvane-bootload/ORV_Bootload_log.txt");
    QVERIFY(QFile::exists(log));
    QCOMPARE(boxes.texts, QStringList{"The program folder is not writable; the session log is written to " + log});
  }

  // Update with nothing ticked shows the message box; Select All, then a
  // cancelled confirmation starts nothing. A refused block: that row "Failed" in red,
  // rows done before it stay "Completed" in blue; the status names the
  // failure. The next run starts from clean rows: a row left out of it loses
  // the last run's mark and its colour.
  void failedRunsMarkTheRowsAndTheNextStartsClean() {
    ConfigurationViewRig rig;
    rig.AddModule(kAppFolderName, "app_main.fm", 60);
    rig.AddModule(kAppFolderName, "bootloader.fm", 4);  // goes first and passes
    rig.AddModule(kKernelFolderName, "app_ct_l2.fm", 2000);
    rig.readerOptions.blockFaults = {{23, sim::FaultKind::Refuse, 0x000A, true}};
    QVERIFY(rig.StartReady());
    MessageBoxRecorder boxes;
    QTest::mouseClick(rig.form().update, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"Please select the file to update."});
    QCOMPARE(boxes.captions, QStringList{"Orvane Reader Bootload Software"});
    QTest::mouseClick(rig.form().selectAll, Qt::LeftButton);  // ticks every row
    OnNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::mouseClick(rig.form().update, Qt::LeftButton);
    QVERIFY(!rig.view()->engine().UpdateRunning() && rig.ControlsEnabled(true));
    QTest::qWait(100);
    QVERIFY(rig.reader().Loads().empty());
    QCOMPARE(rig.StatusText(), QStringLiteral("Device Ready"));

    rig.UpdateConfirmed();
    QVERIFY(rig.WaitUntilRunOver());
    QCOMPARE(rig.Column(1), (QStringList{"Failed", "Completed", "Completed"}));
    QCOMPARE(rig.RowColour(0), kRed);
    QCOMPARE(rig.RowColour(1), kBlue);
    QCOMPARE(rig.RowColour(2), kBlue);
    QCOMPARE(rig.StatusText(), QStringLiteral("Update Failed"));
    QCOMPARE(rig.form().StatusColour(), kRed);
    rig.TickRow(1, false);
    rig.TickRow(2, false);
    rig.UpdateConfirmed();
    QVERIFY(rig.WaitUntilRunOver());
    QCOMPARE(rig.Column(1), (QStringList{"Failed", "", ""}));
    QCOMPARE(rig.RowColour(1), QColor());
    QCOMPARE(rig.RowColour(2), QColor());
    QCOMPARE(rig.StatusText(), QStringLiteral("Firmware Update Failed"));
  }

  // The Update click on the real clock: from the click itself on, the window
  // keeps repainting while the run gets under way, whether the reader is
  // there, has just been pulled out, or needs the keyboard-interface entry.
  void clickKeepsTheWindowPainting_data() {
    QTest::addColumn<Situation>("situation");
    QTest::newRow("reader present") << Situation::ReaderPresent;
    QTest::newRow("reader just gone") << Situation::ReaderJustGone;
    QTest::newRow("keyboard interface") << Situation::KeyboardInterface;
  }
  void clickKeepsTheWindowPainting() {
    QFETCH(Situation, situation);
    ConfigurationViewRig rig(1);  // the real clock: every pause lasts as long as for the operator
    rig.AddModule(kAppFolderName, "app_main.fm", 4);
    rig.readerOptions.keyboardInterface = situation == Situation::KeyboardInterface;
    QVERIFY(rig.StartReady());
    UpdateEngine& engine = rig.view()->engine();
    QTRY_VERIFY(engine.monitorRunFlag());
    if (situation == Situation::ReaderJustGone) {
      rig.Unplug();
      QTest::qWait(900);  // the presence monitor needs one failed query to notice
    }
    rig.TickRow(0);
    bool clicked = false, busyThroughout = true;
    RepaintProbe probe(rig.view(), [&] { busyThroughout &= !clicked || engine.busy(); });
    rig.UpdateConfirmed();
    clicked = true;
    // The click itself starts the run: busy, and nothing left to press.
    busyThroughout &= engine.busy();
    const bool controlsDisabled = rig.ControlsEnabled(false);
    // Long enough for the monitor's stop, the keyboard entry and the start of
    // the re-detection; the run itself is not waited for.
    QTest::qWait(1500);
    probe.Stop();
    // The worker got past the monitor's stop to the reader (an entry, or a
    // search for one that is gone): the monitor did not sit out its pauses first.
    const std::string status = engine.statusText();
    const bool reachedReader = status != "Device Ready" || rig.reader().Reboots() > 0;
    rig.Close();
    QVERIFY2(probe.worstMs < 100, qPrintable(QStringLiteral("%1 ms without a repaint").arg(probe.worstMs)));
    QVERIFY(busyThroughout && controlsDisabled);
    QVERIFY2(reachedReader, status.c_str());
  }
};

QTEST_MAIN(TestConfigurationView)
#include "configuration_view_test.moc"
