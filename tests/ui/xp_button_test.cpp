// CXPButton: face shade, hover frame, embossed disabled text, pressed shift.

#include <QEnterEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/program_style.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using orvane::test::CountPixels;
using orvane::test::DarkBounds;

class TestXPButton : public QObject {
  Q_OBJECT

 private:
  QWidget* window_ = nullptr;
  CXPButton* button_ = nullptr;
  CXPButton* other_ = nullptr;

  static constexpr int kWidth = 120;
  static constexpr int kHeight = 40;

  void Enter(QWidget* widget) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(widget, &enter);
  }
  void Leave(QWidget* widget) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
  }
  // Colour of the face left of the text and right of the hover frame, on row `y` of the face.
  QColor FacePixel(const QImage& image, int y) { return image.pixelColor(8, CXPButton::kEdge + y); }

 private slots:
  void init() {
    window_ = new QWidget();
    UseFormBackground(window_);
    button_ = new CXPButton(QStringLiteral("Update"), window_);
    button_->setGeometry(10, 10, kWidth, kHeight);
    other_ = new CXPButton(QStringLiteral("Other"), window_);
    other_->setGeometry(10, 60, kWidth, kHeight);
    window_->resize(200, 120);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    other_->setFocus();
  }
  void cleanup() {
    delete window_;
    window_ = nullptr;
  }

  void faceIsShadedTopToBottomByState_data() {
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<QColor>("bottom");
    // Face height 36: row 32 (below it the hover frame may lie) uses shade step 63 * 32 / 36 = 56.
    QTest::newRow("plain") << false << false << QColor(237, 237, 244);
    QTest::newRow("focused") << false << true << QColor(237, 237, 241);
    QTest::newRow("hovered") << true << false << QColor(241, 241, 244);
    QTest::newRow("hovered and focused") << true << true << QColor(241, 241, 237);
  }
  void faceIsShadedTopToBottomByState() {
    QFETCH(bool, hovered);
    QFETCH(bool, focused);
    QFETCH(QColor, bottom);
    if (focused) {
      window_->activateWindow();
      button_->setFocus();
      QTRY_VERIFY(button_->hasFocus());
    }
    if (hovered) Enter(button_);
    const QImage image = button_->grab().toImage();
    QCOMPARE(FacePixel(image, 32), bottom);
    // The shade starts near white and never gets lighter on the way down.
    QVERIFY(FacePixel(image, 2).red() >= 254);
    for (int y = 3; y <= 32; ++y) {
      QVERIFY(FacePixel(image, y).red() <= FacePixel(image, y - 1).red());
    }
  }

  void borderIsBlackAndRounded() {
    const QImage image = button_->grab().toImage();
    QCOMPARE(image.pixelColor(kWidth / 2, 0), QColor(Qt::black));
    QCOMPARE(image.pixelColor(0, kHeight / 2), QColor(Qt::black));
    // The corner lies outside the rounded border.
    QVERIFY(image.pixelColor(0, 0) != QColor(Qt::black));
  }

  void hoverFrameAppearsOnEnterAndGoesOnLeave() {
    const int left = CXPButton::kEdge;
    const int bottomRow = kHeight - CXPButton::kEdge - 1;
    const QRect leftEdge(left, kHeight / 2 - 4, 1, 8);
    const QRect bottomEdge(kWidth / 2 - 10, bottomRow, 20, 1);

    QImage image = button_->grab().toImage();
    QCOMPARE(CountPixels(image, leftEdge, CXPButton::kHoverLeft), 0);
    QVERIFY(!button_->IsHovered());

    Enter(button_);
    QVERIFY(button_->IsHovered());
    image = button_->grab().toImage();
    QCOMPARE(CountPixels(image, leftEdge, CXPButton::kHoverLeft), 8);
    QCOMPARE(CountPixels(image, bottomEdge, CXPButton::kHoverBottom), 20);
    QVERIFY(CountPixels(image, QRect(kWidth - CXPButton::kEdge - 2, kHeight / 2, 2, 1), CXPButton::kHoverRight) > 0);
    QVERIFY(CountPixels(image, QRect(kWidth / 2, CXPButton::kEdge, 1, 2), CXPButton::kHoverTop) > 0);
    // The other button is not affected.
    QCOMPARE(CountPixels(other_->grab().toImage(), leftEdge, CXPButton::kHoverLeft), 0);

    Leave(button_);
    QVERIFY(!button_->IsHovered());
    image = button_->grab().toImage();
    QCOMPARE(CountPixels(image, leftEdge, CXPButton::kHoverLeft), 0);
    QCOMPARE(CountPixels(image, bottomEdge, CXPButton::kHoverBottom), 0);
  }

  void realMouseMovesHoverTheButton() {
    QTest::mouseMove(window_, QPoint(150, 100));
    QTest::mouseMove(button_, QPoint(kWidth / 2, kHeight / 2));
    QTRY_VERIFY(button_->IsHovered());
    QTest::mouseMove(window_, QPoint(190, 110));
    QTRY_VERIFY(!button_->IsHovered());
  }

  void disabledTextIsEmbossedGrey() {
    const QRect face(CXPButton::kEdge + 2, CXPButton::kEdge + 2, kWidth - 8, kHeight - 8);
    const QRect enabledText = DarkBounds(button_->grab().toImage(), face, 150);
    QVERIFY(!enabledText.isEmpty());

    button_->setEnabled(false);
    const QImage disabled = button_->grab().toImage();
    // No black text any more, but grey text where the text was.
    QVERIFY(DarkBounds(disabled, face, 150).isEmpty());
    const QRect greyText = DarkBounds(disabled, face, 3 * 200);
    QVERIFY(!greyText.isEmpty());
    QVERIFY(greyText.intersects(enabledText));
  }

  void pressedTextMovesOnePixelDownRight() {
    const QRect face(CXPButton::kEdge, CXPButton::kEdge, kWidth - 4, kHeight - 4);
    const QRect up = DarkBounds(button_->grab().toImage(), face, 150);
    button_->setDown(true);
    const QRect down = DarkBounds(button_->grab().toImage(), face, 150);
    button_->setDown(false);
    QVERIFY(!up.isEmpty());
    QCOMPARE(down.topLeft(), up.topLeft() + QPoint(1, 1));
    QCOMPARE(down.size(), up.size());
  }

  void clickStillWorks() {
    int clicks = 0;
    connect(button_, &QPushButton::clicked, this, [&clicks] { ++clicks; });
    QTest::mouseClick(button_, Qt::LeftButton);
    QCOMPARE(clicks, 1);
  }
};

QTEST_MAIN(TestXPButton)
#include "xp_button_test.moc"
