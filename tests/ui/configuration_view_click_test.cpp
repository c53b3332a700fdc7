// The Update click on the real clock: from the click itself on, the window
// keeps repainting while the run gets under way, whether the reader is
// there, has just been pulled out, or needs the keyboard-interface entry.

#include <QTest>

#include "configuration_view_rig.h"
#include "repaint_probe.h"
#include "ui/main_update_view.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using namespace orvane::test;

namespace {
enum class Situation { ReaderPresent, ReaderJustGone, KeyboardInterface };
}  // namespace

Q_DECLARE_METATYPE(Situation)

class TestConfigurationViewClick : public QObject {
  Q_OBJECT

 private slots:
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
    sim::ReaderOptions options;
    options.keyboardInterface = situation == Situation::KeyboardInterface;
    rig.UseReader(options);
    rig.Plug();
    QVERIFY(rig.Start());
    UpdateEngine& engine = rig.view()->engine();
    QVERIFY(rig.WaitUntilReady());
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

QTEST_MAIN(TestConfigurationViewClick)
#include "configuration_view_click_test.moc"
