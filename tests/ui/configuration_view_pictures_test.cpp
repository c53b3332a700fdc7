// Pictures of the main update view in the frame at its start-up size, for
// people to look at (written to the build folder's ui-pictures), and the
// checks that keep them looking finished: every control inside the view, no
// two controls on top of each other, and no caption or text cut off.

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "configuration_view_rig.h"
#include "ui/main_update_view.h"
#include "ui/file_confirm_dlg.h"
#include "ui/list_ctrl_ex.h"
#include "reader-sim/sim_tcp_server.h"
#include "ui/main_frame.h"
#include "ui/window_messages.h"
#include "ui/xp_button.h"
#include "update/interface_kind.h"
#include "ui_test_support.h"

using namespace orvane;
using namespace orvane::test;

namespace {

QString PicturePath(const QString& name) {
  QDir().mkpath(QStringLiteral(ORVANE_PICTURE_DIR));
  return QStringLiteral(ORVANE_PICTURE_DIR "/%1.png").arg(name);
}

void SavePicture(ConfigurationViewRig& rig, const QString& name) {
  const QPixmap picture = rig.frame()->grab();
  QVERIFY(picture.save(PicturePath(name)));
}

// The text a control shows, and whether it must fit on one line.
QString ShownText(QWidget* control) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* box = qobject_cast<QGroupBox*>(control)) return box->title();
  return QString();
}

// Everything a finished form needs: controls inside the view and apart from
// each other (the group box holds the controls of the file list), and every
// text inside its control.
void CheckLayout(ConfigurationViewRig& rig) {
  CViewConfiguration* view = rig.view();
  const ViewForm& form = view->form();
  QVERIFY(view->width() >= 656 && view->height() >= 464);
  QList<QWidget*> shown;
  for (QObject* child : view->children()) {
    auto* control = qobject_cast<QWidget*>(child);
    if (control == nullptr || !control->isVisible()) continue;
    shown << control;
    QVERIFY2(view->rect().contains(control->geometry()), qPrintable(control->objectName() + ShownText(control)));
  }
  for (int i = 0; i < shown.size(); ++i) {
    for (int j = i + 1; j < shown.size(); ++j) {
      QWidget* a = shown[i];
      QWidget* b = shown[j];
      if (a == form.group || b == form.group) {
        QWidget* inner = a == form.group ? b : a;
        // Inside the group box or clear of it; the status line may touch its edge.
        const QRect overlap = form.group->geometry().intersected(inner->geometry());
        QVERIFY2(overlap.isEmpty() || form.group->geometry().contains(inner->geometry()) || overlap.height() <= 2,
                 qPrintable(ShownText(inner)));
        continue;
      }
      QVERIFY2(!a->geometry().intersects(b->geometry()), qPrintable(ShownText(a) + " / " + ShownText(b)));
    }
  }
  for (QWidget* control : shown) {
    const QString text = ShownText(control);
    if (text.isEmpty() || control == form.deviceInfo) continue;
    const QFontMetrics metrics(control->font());
    int needed = metrics.horizontalAdvance(text);
    if (qobject_cast<QAbstractButton*>(control) && !qobject_cast<CXPButton*>(control)) {
      // Check boxes: the box, its gap and the caption.
      needed += control->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) +
                control->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
    }
    if (qobject_cast<CXPButton*>(control)) needed += 2 * CXPButton::kEdge + 4;
    QVERIFY2(needed <= control->width(), qPrintable(QStringLiteral("%1: %2 > %3").arg(text).arg(needed).arg(control->width())));
    QVERIFY2(metrics.height() <= control->height(), qPrintable(text));
  }
  // The device line shows its whole text.
  QVERIFY(form.deviceInfo->heightForWidth(form.deviceInfo->width()) <= form.deviceInfo->height());
  // Column captions fit their columns.
  CListCtrlEx* list = form.list;
  for (int column = 0; column < list->columnCount(); ++column) {
    const QFontMetrics metrics(list->horizontalHeader()->font());
    QVERIFY2(metrics.horizontalAdvance(list->horizontalHeaderItem(column)->text()) + 8 <= list->columnWidth(column),
             qPrintable(list->horizontalHeaderItem(column)->text()));
  }
}

void AddModules(ConfigurationViewRig& rig) {
  rig.AddAppModule("Taviron2_bootloader_V1.05.fm", true, 4, "Bootloader V1.05");
  rig.AddAppModule("Taviron2_app_V2.00.020.fm", true, 60, "Application V2.00.020");
  rig.AddKernelModule("app_ct_l2.fm", 2000);
  rig.AddKernelModule("app_nfcrd_l2_mchip.fm", 2000);
  rig.AddUniAppModule("wallet.fm", 1500);
}

bool WaitUntilReady(ConfigurationViewRig& rig) {
  return QTest::qWaitFor([&] { return rig.view()->engine().ready() && rig.ControlsEnabled(true); }, 10000);
}

}  // namespace

class TestConfigurationViewPictures : public QObject {
  Q_OBJECT

 private slots:
  void noReader() {
    ConfigurationViewRig rig;
    AddModules(rig);
    QVERIFY(rig.Start());
    QTRY_COMPARE(rig.StatusText(), QStringLiteral("Device Not Ready"));
    rig.view()->blinkTimer()->stop();
    SavePicture(rig, QStringLiteral("configuration_view_no_reader"));
    CheckLayout(rig);
  }

  void readerReady() {
    ConfigurationViewRig rig;
    AddModules(rig);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    QTRY_VERIFY(rig.DeviceInfoText().startsWith(QStringLiteral("Application Mode")));
    rig.TickRow(1);
    SavePicture(rig, QStringLiteral("configuration_view_reader_ready"));
    CheckLayout(rig);
  }

  // Over the network: the port box and its label; the model box shown.
  void networkInterface() {
    ConfigurationViewRig rig;
    AddModules(rig);
    rig.UseReader({});
    sim::SimTcpServer server(rig.reader());
    QVERIFY(server.Start());
    rig.tcpPort = QString::number(server.Port());
    QVERIFY(rig.Start(InterfaceAnswer::Tcp));
    QVERIFY(WaitUntilReady(rig));
    g_bModelVariant.store(true);
    PostUserMessage(rig.view(), kViewRefreshEvent, 0, 2);
    QTRY_VERIFY(rig.view()->form().modelBox->isVisible());
    QVERIFY(rig.view()->form().port->isVisible());
    SavePicture(rig, QStringLiteral("configuration_view_network"));
    CheckLayout(rig);
    g_bModelVariant.store(false);
    rig.Close();
    server.Stop();
  }

  void duringTransfer() {
    ConfigurationViewRig rig;
    AddModules(rig);
    sim::ReaderOptions options;
    options.answerDelayMs = 60;
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    rig.TickRow(0);
    rig.TickRow(2);

    // Grabbed on the user-interface thread once the bar stands half way.
    bool grabbed = false;
    QTimer watch;
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, [&] {
      CListCtrlEx* list = rig.view()->form().list;
      const int row = list->CurrentProgressRow();
      if (grabbed || row != 0 || list->RowPercentage(row) < 40 || list->ProgressBarRect().isEmpty()) return;
      grabbed = true;
      SavePicture(rig, QStringLiteral("configuration_view_during_transfer"));
      CheckLayout(rig);
    });
    watch.start();
    ContinueNextConfirmation();
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return grabbed; }, 20000));
    watch.stop();
  }

  void afterFailedRun() {
    ConfigurationViewRig rig;
    AddModules(rig);
    sim::ReaderOptions options;
    // Data block 20: the bootloader module (4 blocks) passes, the application (60) fails.
    options.blockFaults.push_back({23, sim::FaultKind::Refuse, 0x000A, true});
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    QVERIFY(WaitUntilReady(rig));
    for (int row = 0; row < 3; ++row) rig.TickRow(row);
    ContinueNextConfirmation();
    QTest::mouseClick(rig.view()->form().update, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor(
        [&] { return !rig.view()->engine().UpdateRunning() && rig.ControlsEnabled(true); }, 30000));
    // Rows in name order: the application module, then the bootloader module.
    QCOMPARE(rig.RowText(0, 1), QStringLiteral("Failed"));
    QCOMPARE(rig.RowText(1, 1), QStringLiteral("Completed"));
    QCOMPARE(rig.RowText(2, 1), QStringLiteral("Completed"));
    QCOMPARE(rig.StatusText(), QStringLiteral("Update Failed"));
    SavePicture(rig, QStringLiteral("configuration_view_after_failed_run"));
    CheckLayout(rig);
  }
};

QTEST_MAIN(TestConfigurationViewPictures)
#include "configuration_view_pictures_test.moc"
