// The main update view with the program around it and a simulated reader:
// the blinking status while no reader is there, the ready state, the device
// line, whole update runs with their progress and row marks, and a reader
// that is pulled out.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <set>

#include "configuration_view_rig.h"
#include "support/temp_dir.h"
#include "support/test_certificate.h"
#include "ui/main_update_view.h"
#include "ui/file_confirm_dlg.h"
#include "ui/list_ctrl_ex.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using namespace orvane::test;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(34, 177, 76);
const QColor kBlue(0, 0, 255);

// Collects every text the status line shows, sampled on the user-interface
// thread, so that a blink of a few milliseconds is not missed.
class StatusSampler : public QObject {
 public:
  explicit StatusSampler(QLabel* status) : status_(status) {
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, [this] { Sample(); });
    timer_.start();
  }
  // Number of changes between "Device Not Ready" and the empty text.
  int Blinks() const { return blinks_; }
  std::set<QString> Seen() const { return seen_; }
  void Reset() {
    blinks_ = 0;
    seen_.clear();
  }

 private:
  void Sample() {
    const QString text = status_->text();
    seen_.insert(text);
    if (text != last_ && (text.isEmpty() || text == QStringLiteral("Device Not Ready")) &&
        (last_.isEmpty() || last_ == QStringLiteral("Device Not Ready"))) {
      ++blinks_;
    }
    last_ = text;
  }

  QLabel* status_;
  QTimer timer_;
  QString last_ = QStringLiteral("?");
  int blinks_ = 0;
  std::set<QString> seen_;
};

// What the file list looked like each time it was painted during a run.
struct ListPaint {
  int progressRow;
  int percent;
  bool barShown;
  bool controlsDisabled;
};

class ListPaintRecorder : public QObject {
 public:
  explicit ListPaintRecorder(ConfigurationViewRig& rig) : rig_(rig) {
    rig.view()->form().list->viewport()->installEventFilter(this);
  }
  std::vector<ListPaint> paints;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      CListCtrlEx* list = rig_.view()->form().list;
      const int row = list->CurrentProgressRow();
      paints.push_back({row, row >= 0 ? list->RowPercentage(row) : -1, !list->ProgressBarRect().isEmpty(),
                        rig_.ControlsEnabled(false)});
    }
    return false;
  }

 private:
  ConfigurationViewRig& rig_;
};

bool WaitUntilReady(ConfigurationViewRig& rig) {
  return QTest::qWaitFor([&] { return rig.view()->engine().ready() && rig.ControlsEnabled(true); }, 10000);
}

// Presses Update and confirms the selection with "Continue"; returns the
// confirmation text.
QString UpdateConfirmed(ConfigurationViewRig& rig) {
  QString shown;
  orvane::test::ContinueNextConfirmation(&shown);
  QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
  return shown;
}

bool WaitUntilRunOver(ConfigurationViewRig& rig) {
  return QTest::qWaitFor(
      [&] { return !rig.view()->engine().UpdateRunning() && !rig.view()->engine().busy() && rig.ControlsEnabled(true); },
      30000);
}

}  // namespace

class TestConfigurationViewRuns : public QObject {
  Q_OBJECT

 private slots:
  void statusBlinksUntilTheReaderAppearsThenTurnsGreen() {
    ConfigurationViewRig rig;
    QVERIFY(rig.Start());
    const ViewForm& form = rig.view()->form();
    StatusSampler sampler(form.status);
    QVERIFY(QTest::qWaitFor([&] { return sampler.Blinks() >= 4; }, 10000));
    QCOMPARE(sampler.Seen(), (std::set<QString>{QString(), QStringLiteral("Device Not Ready")}));
    QCOMPARE(rig.StatusColour(), kRed);
    QVERIFY(!rig.view()->showsReadyPicture());
    QCOMPARE(rig.DeviceInfoText(), QStringLiteral("Device Not be Connected"));
    QVERIFY(!form.update->isEnabled());
    QVERIFY(!form.reloadFirmware->isEnabled());
    QVERIFY(!form.reloadKernel->isEnabled());

    rig.Plug();
    QVERIFY(WaitUntilReady(rig));
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Ready"));
    QCOMPARE(rig.StatusColour(), kGreen);
    QVERIFY(rig.view()->showsReadyPicture());
    QVERIFY(!rig.view()->blinkTimer()->isActive());
    QTRY_COMPARE(rig.DeviceInfoText(), QStringLiteral("Application Mode, Version Info: Orvane Taviron2 APP V2.00.020 "));
    // No more blinking while the reader stays.
    sampler.Reset();
    QTest::qWait(300);
    QCOMPARE(sampler.Seen(), (std::set<QString>{QStringLiteral("Device Ready")}));
  }

  void deviceLineShowsTheBootloaderMode_data() {
    QTest::addColumn<char>("typeChar");
    QTest::addColumn<int>("stopPackage");
    QTest::addColumn<QString>("type");
    QTest::newRow("PCI") << '2' << 0 << QStringLiteral("\nType: PCI. ");
    QTest::newRow("non-PCI, interrupted load")
        << '0' << 7 << QStringLiteral("\nType: NONPCI. Continue Loading From Stop Package:\t 7");
  }
  void deviceLineShowsTheBootloaderMode() {
    QFETCH(char, typeChar);
    QFETCH(int, stopPackage);
    QFETCH(QString, type);
    ConfigurationViewRig rig;
    sim::ReaderOptions options;
    options.mode = sim::ReaderMode::Bootloader;
    options.typeChar = typeChar;
    options.stopPackage = static_cast<uint32_t>(stopPackage);
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    QTRY_VERIFY(rig.DeviceInfoText().startsWith(QStringLiteral("Bootloader Mode, Version Info: ")));
    QVERIFY2(rig.DeviceInfoText().endsWith(type), qPrintable(rig.DeviceInfoText()));
    QCOMPARE(rig.StatusColour(), kGreen);
  }

  // Ticked rows, Update, "Continue": the rows show their progress bar while
  // the controls are disabled, then "Completed" in blue; the controls come
  // back and the status line tells the result.
  void updateRunShowsProgressThenCompleted() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 40);
    rig.AddKernelModule("app_ct_l2.fm", 3000);
    rig.AddUniAppModule("wallet.fm", 1500);
    sim::ReaderOptions options;
    options.answerDelayMs = 40;  // a transfer long enough to be watched
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    QCOMPARE(rig.RowCount(), 3);
    rig.TickRow(0);
    rig.TickRow(1);

    ListPaintRecorder recorder(rig);
    const QString confirmation = UpdateConfirmed(rig);
    QCOMPARE(confirmation, QStringLiteral("Bootloader file list:\r\n\tNone\r\nApp file list:\r\n\tapp_main.fm\r\n"
                                          "Kernel file list:\r\n\tapp_ct_l2.fm\r\n\r\nUni-App file list:\r\n\tNone"));
    QVERIFY(WaitUntilRunOver(rig));

    QCOMPARE(rig.RowText(0, 1), QStringLiteral("Completed"));
    QCOMPARE(rig.RowColour(0, 1), kBlue);
    QCOMPARE(rig.RowText(1, 1), QStringLiteral("Completed"));
    QCOMPARE(rig.RowColour(1, 1), kBlue);
    QVERIFY(rig.RowText(2, 1).isEmpty());
    QCOMPARE(rig.StatusText(), QStringLiteral("Update Succeeded"));
    QCOMPARE(rig.StatusColour(), kGreen);

    // Both transfers were watched with a bar part of the way, controls disabled.
    bool appBar = false, kernelBar = false;
    for (const ListPaint& paint : recorder.paints) {
      if (!paint.barShown || paint.percent <= 0 || paint.percent >= 100) continue;
      QVERIFY(paint.controlsDisabled);
      appBar |= paint.progressRow == 0;
      kernelBar |= paint.progressRow == 1;
    }
    QVERIFY(appBar);
    QVERIFY(kernelBar);
    QVERIFY(rig.view()->form().list->ProgressBarRect().isEmpty());

    // What the reader received.
    const std::vector<sim::ReceivedLoad> loads = rig.reader().Loads();
    QVERIFY(!loads.empty());
    QVERIFY(loads.back().complete);
    QCOMPARE(loads.back().dataBlocks, 40u);
    const std::vector<sim::ReceivedModule> modules = rig.reader().Modules();
    QCOMPARE(modules.size(), size_t(1));
    QCOMPARE(modules[0].data.size(), size_t(3000));
    QVERIFY(modules[0].finished);
  }

  void failedTransferMarksTheRowFailedInRed() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 12);
    sim::ReaderOptions options;
    options.blockFaults.push_back({6, sim::FaultKind::Refuse, 0x000A, true});
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    rig.TickRow(0);
    UpdateConfirmed(rig);
    QVERIFY(WaitUntilRunOver(rig));
    QCOMPARE(rig.RowText(0, 1), QStringLiteral("Failed"));
    QCOMPARE(rig.RowColour(0, 1), kRed);
    QCOMPARE(rig.StatusText(), QStringLiteral("Firmware Update Failed"));
    QCOMPARE(rig.StatusColour(), kRed);
  }

  void cancelledConfirmationStartsNothing() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 4);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    rig.TickRow(0);
    orvane::test::OnNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    QVERIFY(!rig.view()->engine().UpdateRunning());
    QVERIFY(rig.ControlsEnabled(true));
    QTest::qWait(100);
    QVERIFY(rig.reader().Loads().empty());
    QCOMPARE(rig.StatusText(), QStringLiteral("Device Ready"));
  }

  // The close box is not blocked by a run: the workers are stopped and the
  // window goes at once.
  void closingTheWindowDuringATransferEndsPromptly() {
    ConfigurationViewRig rig;
    rig.AddAppModule("app_main.fm", true, 400);
    sim::ReaderOptions options;
    options.answerDelayMs = 50;
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    rig.TickRow(0);
    UpdateConfirmed(rig);
    QVERIFY(QTest::qWaitFor([&] { return rig.view()->form().list->CurrentProgressRow() == 0; }, 20000));
    QElapsedTimer closing;
    closing.start();
    rig.Close();
    QVERIFY2(closing.elapsed() < 3000, qPrintable(QString::number(closing.elapsed())));
    QVERIFY(rig.reader().Loads().empty() || !rig.reader().Loads().back().complete);
  }

  void unpluggedReaderTurnsTheStatusBackToBlinking() {
    ConfigurationViewRig rig;
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Ready"));

    const ViewForm& form = rig.view()->form();
    StatusSampler sampler(form.status);
    rig.Unplug();
    QVERIFY(QTest::qWaitFor([&] { return sampler.Blinks() >= 4; }, 15000));
    QCOMPARE(rig.StatusColour(), kRed);
    QVERIFY(!rig.view()->showsReadyPicture());
    QCOMPARE(rig.DeviceInfoText(), QStringLiteral("Device Not be Connected"));
    QVERIFY(!form.update->isEnabled());

    rig.Plug();
    QVERIFY(WaitUntilReady(rig));
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Ready"));
    QCOMPARE(rig.StatusColour(), kGreen);
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

  void logInTheFallbackFolderIsShownOnce() {
    MessageBoxRecorder boxes;
    TempDir state;
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.path()));
    ConfigurationViewRig rig;
    // A folder where the log file belongs: the program folder takes no log.
    std::filesystem::create_directories(rig.programFolder() + "/ORV_Bootload_log.txt/kept");
    rig.AddAppModule("app_one.fm", true, 3);
    rig.AddAppModule("app_two.fm", true, 3);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    rig.TickRow(0);
    rig.TickRow(1);
    UpdateConfirmed(rig);
    QVERIFY(WaitUntilRunOver(rig));
    rig.Close();
    qunsetenv("XDG_STATE_HOME");

    const QString logPath =
        QString::fromStdString(state.path()) + QStringLiteral("/orvane-bootload/ORV_Bootload_log.txt");
    QVERIFY(QFile::exists(logPath));
    QCOMPARE(boxes.shown.size(), size_t{1});
    QCOMPARE(boxes.shown.front().text,
             QStringLiteral("The program folder is not writable; the session log is written to ") + logPath);
  }
};

QTEST_MAIN(TestConfigurationViewRuns)
#include "configuration_view_run_test.moc"
