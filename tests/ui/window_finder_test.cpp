// WindowFinder::FindWindowStartingWith: prefix only, any letter case,
// visible windows only.

#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

#include "ui/window_finder.h"

using namespace orvane;

struct WindowSpec {
  QString title;
  bool visible;
};
Q_DECLARE_METATYPE(std::vector<WindowSpec>)

class TestWindowFinder : public QObject {
  Q_OBJECT

 private slots:
  void findsByCaptionPrefix_data() {
    QTest::addColumn<std::vector<WindowSpec>>("windows");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("expected");  // index into windows, -1 for none

    const QString product = QStringLiteral("Orvane Reader Bootload Software");
    const QString frame = QStringLiteral("Orvane Reader Bootload Software  [For Taviron2] v2.00.020");
    QTest::newRow("exact frame caption") << std::vector<WindowSpec>{{frame, true}} << product << 0;
    QTest::newRow("other letter case")
        << std::vector<WindowSpec>{{QStringLiteral("ORVANE reader BOOTLOAD software v1"), true}} << product << 0;
    QTest::newRow("prefix in lower case") << std::vector<WindowSpec>{{frame, true}} << product.toLower() << 0;
    QTest::newRow("wording inside, not at the start")
        << std::vector<WindowSpec>{{QStringLiteral("Help - Orvane Reader Bootload Software"), true}} << product << -1;
    QTest::newRow("hidden window") << std::vector<WindowSpec>{{frame, false}} << product << -1;
    QTest::newRow("hidden one skipped, visible one found")
        << std::vector<WindowSpec>{{frame, false}, {QStringLiteral("Editor"), true}, {frame, true}} << product << 2;
    QTest::newRow("caption shorter than the prefix")
        << std::vector<WindowSpec>{{QStringLiteral("Orvane"), true}} << product << -1;
    QTest::newRow("window without caption, empty prefix")
        << std::vector<WindowSpec>{{QString(), true}} << QString() << -1;
    QTest::newRow("no windows") << std::vector<WindowSpec>{} << product << -1;
  }
  void findsByCaptionPrefix() {
    QFETCH(std::vector<WindowSpec>, windows);
    QFETCH(QString, prefix);
    QFETCH(int, expected);
    std::vector<std::unique_ptr<QWidget>> created;
    for (const WindowSpec& spec : windows) {
      auto window = std::make_unique<QWidget>();
      window->setWindowTitle(spec.title);
      window->resize(200, 100);
      if (spec.visible) window->show();
      created.push_back(std::move(window));
    }
    QWidget* found = WindowFinder::FindWindowStartingWith(prefix);
    QCOMPARE(found, expected < 0 ? nullptr : created[static_cast<size_t>(expected)].get());
  }

  void bringToFrontRestoresAMinimizedWindow() {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Orvane Reader Bootload Software"));
    window.show();
    window.showMinimized();
    QVERIFY(window.isMinimized());
    WindowFinder::BringToFront(WindowFinder::FindWindowStartingWith(QStringLiteral("orvane")));
    QVERIFY(!window.isMinimized());
    WindowFinder::BringToFront(nullptr);  // nothing found: nothing happens
  }
};

QTEST_MAIN(TestWindowFinder)
#include "window_finder_test.moc"
