// CHelpDialog: the width search, the window's bounds and margin, the missing
// document text, Copy, and the operator's guide itself.

#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include "ui/help_dialog.h"
#include "ui/program_resources.h"
#include "ui_test_support.h"

using namespace orvane;

namespace {

// Height of one paragraph of `length` pixels of text in lines of 20 pixels.
std::function<int(int)> Paragraph(int length) {
  return [length](int width) { return 20 * ((length + width - 1) / width); };
}

}  // namespace

class TestHelpDialog : public QObject {
  Q_OBJECT

 private slots:
  void widthSearch_data() {
    QTest::addColumn<int>("length");  // 0: a text whose height never changes
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // Middle 450: three lines; 334 is the narrowest width that keeps three.
    QTest::newRow("long paragraph") << 1000 << 100 << 800 << 334 << 60;
    // One line already at the middle: the narrowest one-line width is the text's own.
    QTest::newRow("short paragraph") << 300 << 100 << 1000 << 300 << 20;
    // The halving stops one short of measuring the lower bound itself.
    QTest::newRow("height independent of width") << 0 << 100 << 800 << 101 << 20;
    // A range that is empty from the start is still measured once.
    QTest::newRow("narrow screen") << 1000 << 100 << 80 << 90 << 240;
  }
  void widthSearch() {
    QFETCH(int, length);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, width);
    QFETCH(int, height);
    int calls = 0;
    auto heightAt = length > 0 ? Paragraph(length) : [](int) { return 20; };
    HelpFit fit = FitHelpWidth(
        [&](int w) {
          ++calls;
          return heightAt(w);
        },
        lower, upper);
    QCOMPARE(fit.width, width);
    QCOMPARE(fit.height, height);
    QVERIFY(calls <= 12);
  }

  void windowOpensWithinTheScreen() {
    CHelpDialog help(nullptr, QString::fromLatin1(kHelpDocument));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(help.RequestedSize().width >= CHelpDialog::kNarrowest);
    QVERIFY(help.RequestedSize().width <= screen.width());
    QVERIFY(help.width() > help.RequestedSize().width);
    QVERIFY(help.width() <= screen.width());
    QVERIFY(help.height() <= screen.height() - CHelpDialog::kScreenGap);
    // The guide is long: the window takes the full allowed height.
    QCOMPARE(help.height(), screen.height() - CHelpDialog::kScreenGap);
  }

  void shortTextGivesASmallWindow() {
    CHelpDialog help(nullptr, QStringLiteral(":/no/such/document.html"));
    QVERIFY(help.height() < QGuiApplication::primaryScreen()->availableGeometry().height() / 2);
    QVERIFY(help.width() >= CHelpDialog::kNarrowest);
  }

  void resizingKeepsAFourPixelMargin_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(700, 500);
    QTest::newRow("smaller") << QSize(300, 200);
    QTest::newRow("wide and low") << QSize(760, 150);
  }
  void resizingKeepsAFourPixelMargin() {
    QFETCH(QSize, size);
    CHelpDialog help(nullptr, QString::fromLatin1(kHelpDocument));
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    help.resize(size);
    QTRY_COMPARE(help.size(), size);
    QCOMPARE(help.TextControl()->geometry(), QRect(QPoint(0, 0), size).adjusted(4, 4, -4, -4));
  }

  void missingDocumentShowsTheRedInternalError_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("detail");
    QTest::newRow("not in the resources") << QStringLiteral(":/help/missing.html")
                                         << QStringLiteral("Failed to load RTF from resources, check your code!");
    QTest::newRow("none given") << QString()
                                << QStringLiteral(
                                       "no RTF ID set in constructor AND no RTF File Loaded, check your code!");
  }
  void missingDocumentShowsTheRedInternalError() {
    QFETCH(QString, path);
    QFETCH(QString, detail);
    CHelpDialog help(nullptr, path);
    QTextDocument* document = help.TextControl()->document();
    QTextBlock first = document->firstBlock();
    QCOMPARE(first.text(), QStringLiteral("HelpDialog Internal Error"));
    QTextCursor cursor(first);
    cursor.movePosition(QTextCursor::NextCharacter);
    QCOMPARE(cursor.charFormat().foreground().color(), QColor(255, 0, 0));
    QVERIFY(cursor.charFormat().fontWeight() >= QFont::Bold);
    QVERIFY(document->toPlainText().contains(detail));
  }

  void copyPutsTheWholeTextOnTheClipboard() {
    CHelpDialog help(nullptr, QString::fromLatin1(kHelpDocument));
    QGuiApplication::clipboard()->clear();
    help.Copy();
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied, help.TextControl()->textCursor().document()->toPlainText());
    QVERIFY(!help.TextControl()->textCursor().hasSelection());
    QCOMPARE(help.TextControl()->textCursor().position(), 0);
  }

  void guideCoversWhatOperatorsNeed() {
    CHelpDialog help(nullptr, QString::fromLatin1(kHelpDocument));
    const QString guide = help.TextControl()->toPlainText();
    QVERIFY(guide.size() > 20000);
    const char* topics[] = {
        "USB HID / USB KB / RS232", "TLS", "TCP / IP", "BootloadConfiguration.xml", "vid_pid", "baudrateList",
        "TLS_Server_Port", "EnableInterruptPointReserve", "FirmwareApp", "FirmwareKernel", "UniFirmwareApp",
        "nfcrd_l2_amex", "Completed", "Suspended", "Not Replug", "Connection Failed", "Device Not Ready",
        "PCI not match", "Stop Point Error", "ORV_Bootload_log.txt", "dialout", "hidraw", "server_cert.pem",
    };
    for (const char* topic : topics) QVERIFY2(guide.contains(QString::fromLatin1(topic)), topic);
  }
};

QTEST_MAIN(TestHelpDialog)
#include "help_dialog_test.moc"
