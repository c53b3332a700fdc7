// The main update view with the program around it and a simulated reader:
// the blinking status while no reader is there, the ready state and the
// device line, whole update runs with their progress, row marks and a window
// that keeps repainting (from the Update click on, on the real clock), a
// reader that is pulled out, and the problems that reach the operator in
// message boxes.

#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QTcpServer>
#include <QTest>

#include <filesystem>
#include <set>

#include "configuration_view_rig.h"
#include "repaint_probe.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_update_view.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using namespace orvane::test;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(34, 177, 76);
const QColor kBlue(0, 0, 255);

// Waits for the status to blink between "Device Not Ready" and nothing, in
// red, with the not-ready picture and texts and Update disabled.
void CheckBlinking(ConfigurationViewRig& rig) {
  std::set<QString> seen;
  QString last = QStringLiteral("?");
  int blinks = 0;
  const auto blinking = [](const QString& text) { return text.isEmpty() || text == QStringLiteral("Device Not Ready"); };
  Sampler sampler([&] {
    const QString text = rig.StatusText();
    seen.insert(text);
    if (text != last && blinking(text) && blinking(last)) ++blinks;
    last = text;
  });
  QVERIFY(QTest::qWaitFor([&] { return blinks >= 4; }, 15000));
  QCOMPARE(seen, (std::set<QString>{QString(), QStringLiteral("Device Not Ready")}));
  QCOMPARE(rig.StatusColour(), kRed);
  QVERIFY(!rig.view()->showsReadyPicture());
  QCOMPARE(rig.DeviceInfoText(), QStringLiteral("Device Not be Connected"));
  QVERIFY(!rig.view()->form().update->isEnabled());
}

// Waits for a steady green "Device Ready" with the ready picture.
void CheckReady(ConfigurationViewRig& rig) {
  QVERIFY(rig.WaitUntilReady());
  QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Ready"));
  std::set<QString> seen;
  Sampler sampler([&] { seen.insert(rig.StatusText()); });
  QTest::qWait(300);
  QCOMPARE(seen, (std::set<QString>{QStringLiteral("Device Ready")}));
  QCOMPARE(rig.StatusColour(), kGreen);
  QVERIFY(rig.view()->showsReadyPicture());
}

enum class Situation { ReaderPresent, ReaderJustGone, KeyboardInterface };

}  // namespace

Q_DECLARE_METATYPE(Situation)

class TestConfigurationViewRuns : public QObject {
  Q_OBJECT

 private slots:
  // Blinking without a reader, steady green with one, blinking again once it
  // is pulled out, green when it is back.
  void statusFollowsTheReader() {
    ConfigurationViewRig rig;
    QVERIFY(rig.Start());
    CheckBlinking(rig);
    QVERIFY(!rig.view()->form().reloadFirmware->isEnabled());
    rig.Plug();
    CheckReady(rig);
    QCOMPARE(rig.DeviceInfoText(), QStringLiteral("Application Mode, Version Info: Orvane Taviron2 APP V2.00.020 "));
    rig.Unplug();
    QTRY_VERIFY_WITH_TIMEOUT(rig.StatusText() != QStringLiteral("Device Ready"), 15000);
    CheckBlinking(rig);
    rig.Plug();
    CheckReady(rig);
  }

  void deviceLineShowsTheBootloaderMode_data() {
    QTest::addColumn<char>("typeChar");
    QTest::addColumn<uint32_t>("stopPackage");
    QTest::addColumn<QString>("type");
    QTest::newRow("PCI") << '2' << 0u << QStringLiteral("\nType: PCI. ");
    QTest::newRow("non-PCI, interrupted load")
        << '0' << 7u << QStringLiteral("\nType: NONPCI. Continue Loading From Stop Package:\t 7");
  }
  void deviceLineShowsTheBootloaderMode() {
    QFETCH(char, typeChar);
    QFETCH(uint32_t, stopPackage);
    QFETCH(QString, type);
    ConfigurationViewRig rig;
    rig.UseReader([&](sim::ReaderOptions& o) { o.mode = sim::ReaderMode::Bootloader; o.typeChar = typeChar; o.stopPackage = stopPackage; });
    QVERIFY(rig.StartReady());
    QTRY_VERIFY(rig.DeviceInfoText().startsWith(QStringLiteral("Bootloader Mode, Version Info: ")));
    QVERIFY2(rig.DeviceInfoText().endsWith(type), qPrintable(rig.DeviceInfoText()));
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
    rig.AddAppModule("app_main.fm", true, 40);
    rig.AddKernelModule("app_ct_l2.fm", 3000);
    rig.AddUniAppModule("wallet.fm", 1500);
    rig.UseReader([&](sim::ReaderOptions& o) { o.answerDelayMs = 40; });  // a transfer long enough to be watched
    QVERIFY(rig.StartReady());
    rig.TickRow(0);
    rig.TickRow(1);
    bool appBar = false, kernelBar = false, enabledDuringBar = false;
    CListCtrlEx* list = rig.view()->form().list;
    RepaintProbe probe(list->viewport(), [&] {
      const int row = list->CurrentProgressRow();
      if (row < 0 || list->ProgressBarRect().isEmpty() || list->RowPercentage(row) % 100 == 0) return;
      enabledDuringBar |= !rig.ControlsEnabled(false);
      appBar |= row == 0;
      kernelBar |= row == 1;
    });
    probe.Start();
    QCOMPARE(rig.UpdateConfirmed(), QStringLiteral("Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tapp_main.fm\r\n"
                                                   "Kernel file list:\r\n\tapp_ct_l2.fm\r\n\r\nUni-App file list:\r\n\tNone"));
    QVERIFY(rig.WaitUntilRunOver());
    probe.Stop();
    QVERIFY(appBar && kernelBar && !enabledDuringBar);
    QVERIFY(list->ProgressBarRect().isEmpty());
    QVERIFY2(probe.WorstMs() < 100, qPrintable(QStringLiteral("%1 ms without a repaint").arg(probe.WorstMs())));
    for (int row : {0, 1}) {
      QCOMPARE(rig.RowText(row, 1), QStringLiteral("Completed"));
      QCOMPARE(rig.RowColour(row, 1), kBlue);
    }
    QVERIFY(rig.RowText(2, 1).isEmpty());
    QCOMPARE(rig.StatusText(), QStringLiteral("Update Succeeded"));
    QCOMPARE(rig.StatusColour(), kGreen);
    const std::vector<sim::ReceivedLoad> loads = rig.reader().Loads();
    QVERIFY(!loads.empty() && loads.back().complete);
    QCOMPARE(loads.back().dataBlocks, 40u);
    const std::vector<sim::ReceivedModule> modules = rig.reader().Modules();
    QCOMPARE(modules.size(), size_t(1));
    QCOMPARE(modules[0].data.size(), size_t(3000));
    QVERIFY(modules[0].finished);
    rig.Close();
    qunsetenv("XDG_STATE_HOME");
    const QString log = QString::fromStdString(state.path()) + QStringLiteral("/orvane-bootload/ORV_Bootload_log.txt");
    QVERIFY(QFile::exists(log));
    QCOMPARE(boxes.shown.size(), size_t{1});
    QCOMPARE(boxes.shown.front().text, QStringLiteral("The program folder is not writable; the session log is written to ") + log);
  }

  // A refused block: that row "Failed" in red, rows done before it stay
  // "Completed"; the status names the failure.
  void failedTransferMarksTheRowFailedInRed_data() {
    QTest::addColumn<uint32_t>("faultBlock");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QString>("status");
    QTest::newRow("one module") << 6u << QStringList{"Failed"} << QStringLiteral("Firmware Update Failed");
    // Rows in name order; the bootloader module (4 blocks) goes first and passes.
    QTest::newRow("after a completed module") << 23u << QStringList{"Failed", "Completed", "Completed"}
                                              << QStringLiteral("Update Failed");
  }
  void failedTransferMarksTheRowFailedInRed() {
    QFETCH(uint32_t, faultBlock);
    QFETCH(QStringList, marks);
    QFETCH(QString, status);
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 60);
    if (marks.size() > 1) {
      rig.AddAppModule("bootloader.fm", true, 4);
      rig.AddKernelModule("app_ct_l2.fm", 2000);
    }
    rig.UseReader([&](sim::ReaderOptions& o) { o.blockFaults = {{faultBlock, sim::FaultKind::Refuse, 0x000A, true}}; });
    QVERIFY(rig.StartReady());
    for (int row = 0; row < marks.size(); ++row) rig.TickRow(row);
    rig.UpdateConfirmed();
    QVERIFY(rig.WaitUntilRunOver());
    for (int row = 0; row < marks.size(); ++row) {
      QCOMPARE(rig.RowText(row, 1), marks[row]);
      QCOMPARE(rig.RowColour(row, 1), marks[row] == QStringLiteral("Failed") ? kRed : kBlue);
    }
    QCOMPARE(rig.StatusText(), status);
    QCOMPARE(rig.StatusColour(), kRed);
  }

  // A new run starts from clean rows: a row left out of it loses the last
  // run's mark and its colour.
  void nextRunClearsTheLastRunsMarks() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_a.fm", true, 4);
    rig.AddAppModule("app_b.fm", true, 4);
    QVERIFY(rig.StartReady());
    rig.TickRow(0);
    rig.UpdateConfirmed();
    QVERIFY(rig.WaitUntilRunOver());
    QCOMPARE(rig.RowColour(0, 1), kBlue);
    rig.view()->form().list->SetCheck(0, false);
    rig.TickRow(1);
    rig.UpdateConfirmed();
    QVERIFY(rig.WaitUntilRunOver());
    QCOMPARE(rig.RowText(1, 1), QStringLiteral("Completed"));
    QVERIFY(rig.RowText(0, 1).isEmpty());
    QCOMPARE(rig.RowColour(0, 1), QColor());
  }

  // Update with nothing ticked shows the message box; a cancelled
  // confirmation starts nothing either.
  void updateWithoutARunStartsNothing() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 4);
    QVERIFY(rig.StartReady());
    MessageBoxRecorder boxes;
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Please select the file to update."));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Orvane Reader Bootload Software"));
    rig.TickRow(0);
    OnNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    QVERIFY(!rig.view()->engine().UpdateRunning() && rig.ControlsEnabled(true));
    QTest::qWait(100);
    QVERIFY(rig.reader().Loads().empty());
    QCOMPARE(rig.StatusText(), QStringLiteral("Device Ready"));
  }

  // The close box is not blocked by a run: the workers are stopped and the
  // window goes at once.
  void closingTheWindowDuringATransferEndsPromptly() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 400);
    rig.UseReader([&](sim::ReaderOptions& o) { o.answerDelayMs = 50; });
    QVERIFY(rig.StartReady());
    rig.TickRow(0);
    rig.UpdateConfirmed();
    QVERIFY(QTest::qWaitFor([&] { return rig.view()->form().list->CurrentProgressRow() == 0; }, 20000));
    QElapsedTimer closing;
    closing.start();
    rig.Close();
    QVERIFY2(closing.elapsed() < 3000, qPrintable(QString::number(closing.elapsed())));
    QVERIFY(rig.reader().Loads().empty() || !rig.reader().Loads().back().complete);
  }

  // What keeps the TLS server from starting reaches the operator in the window.
  void tlsStartUpProblemIsShown_data() {
    QTest::addColumn<bool>("certificate");
    QTest::addColumn<QString>("expected");  // %1: the port
    QTest::newRow("no certificate or key") << false << QStringLiteral("load server_cert.pem failed");
    QTest::newRow("port in use") << true << QStringLiteral("Unable to listen on TLS port %1");
  }
  void tlsStartUpProblemIsShown() {
    QFETCH(bool, certificate);
    QFETCH(QString, expected);
    MessageBoxRecorder boxes;
    ConfigurationViewRig rig;
    QTcpServer holder;  // another program on the port
    QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));
    rig.tlsPort = QString::number(holder.serverPort());
    if (certificate) QVERIFY(WriteTestCertificate(rig.programFolder()));
    QVERIFY(rig.Start(InterfaceAnswer::Tls));
    QVERIFY(QTest::qWaitFor([&] { return !boxes.shown.empty(); }, 10000));
    QCOMPARE(boxes.shown.front().text, expected.contains(QStringLiteral("%1")) ? expected.arg(rig.tlsPort) : expected);
    rig.Close();
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
    rig.AddAppModule("app_main.fm", true, 4);
    rig.UseReader([&](sim::ReaderOptions& o) { o.keyboardInterface = situation == Situation::KeyboardInterface; });
    QVERIFY(rig.StartReady());
    UpdateEngine& engine = rig.view()->engine();
    QTRY_VERIFY(engine.monitorRunFlag());
    QCOMPARE(engine.channel().deviceInfo().keyboardMode, situation == Situation::KeyboardInterface);
    if (situation == Situation::ReaderJustGone) {
      rig.Unplug();
      QTest::qWait(900);  // the presence monitor needs one failed query to notice
    }
    rig.TickRow(0);
    RepaintProbe probe(rig.view());
    probe.Start();
    ContinueNextConfirmation();
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    // The click itself starts the run: busy, and nothing left to press.
    bool busyThroughout = engine.busy();
    const bool controlsDisabled = rig.ControlsEnabled(false);
    Sampler busy([&] { busyThroughout &= engine.busy(); });
    // Long enough for the monitor's stop, the keyboard entry and the start of
    // the re-detection; the run itself is not waited for.
    QTest::qWait(1500);
    probe.Stop();
    // The worker got past the monitor's stop to the reader (an entry, or a
    // search for one that is gone): the monitor did not sit out its pauses first.
    const std::string status = engine.statusText();
    const bool reachedReader = status != "Device Ready" || rig.reader().Reboots() > 0;
    rig.Close();
    QVERIFY2(probe.Paints() >= 10, qPrintable(QString::number(probe.Paints())));
    QVERIFY2(probe.WorstMs() < 100, qPrintable(QStringLiteral("%1 ms without a repaint").arg(probe.WorstMs())));
    QVERIFY(busyThroughout && controlsDisabled);
    QVERIFY2(reachedReader, status.c_str());
  }
};

QTEST_MAIN(TestConfigurationViewRuns)
#include "configuration_view_run_test.moc"
