// The program's own widgets as the operator sees them: the button's shaded
// face, hover frame and grey disabled text; the file list's cell colours and
// its in-cell progress bar.

#include <QEnterEvent>
#include <QScreen>
#include <QTest>
#include <thread>

#include "ui/list_ctrl_ex.h"
#include "ui/program_style.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;
using namespace orvane::test;

constexpr int kWidth = 120;
constexpr int kHeight = 40;
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

static QImage Picture(QWidget* widget) { return widget->grab().toImage(); }

class TestWidgets : public QObject {
  Q_OBJECT

 private:
  QWidget* window_ = nullptr;
  CXPButton* button_ = nullptr;
  CListCtrlEx* list_ = nullptr;

  QRect Cell(int row, int column) const { return list_->visualRect(list_->model()->index(row, column)); }
  int BarPixels(const QRect& area) const {
    return CountPixels(Picture(list_->viewport()), area, CListCtrlEx::kBarChunk, 40);
  }

 private slots:
  void init() {
    window_ = new QWidget();
    UseFormBackground(window_);
    button_ = new CXPButton(QStringLiteral("Update"), window_);
    button_->setGeometry(10, 10, kWidth, kHeight);
    list_ = new CListCtrlEx(window_);
    list_->setGeometry(10, 60, 600, 200);
    for (int column = 0; column < 3; ++column) list_->InsertColumn(column, QStringLiteral("Column"), 190);
    for (int row = 0; row < 4; ++row) list_->InsertItem(row, QStringLiteral("module_%1.fm").arg(row));
    window_->resize(620, 270);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    list_->setFocus();
  }
  void cleanup() {
    delete window_;
    window_ = nullptr;
  }

  // The face's shade (row 32 of 36 at step 56 of 63: bluer unless hovered,
  // least blue hovered and focused); hovering draws the frame, leaving takes it away; a
  // pressed button's text moves one pixel down and right; a disabled one has
  // grey text where the black was.
  void buttonFaceHoverAndDisabledText() {
    auto face = [](const QImage& image, int y) { return image.pixelColor(8, CXPButton::kEdge + y); };
    const QRect leftEdge(CXPButton::kEdge, kHeight / 2 - 4, 1, 8);
    QImage image = Picture(button_);
    QCOMPARE(face(image, 32), QColor(237, 237, 244));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), button_->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(button_, &enter);
    image = Picture(button_);
    QCOMPARE(face(image, 32), QColor(241, 241, 244));
    QCOMPARE(CountPixels(image, leftEdge, CXPButton::kHoverLeft), 8);
    window_->activateWindow();
    button_->setFocus();
    QTRY_VERIFY(button_->hasFocus());
    QCOMPARE(face(Picture(button_), 32), QColor(241, 241, 237));  // hovered and focused: less blue
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button_, &leave);
    QCOMPARE(CountPixels(Picture(button_), leftEdge, CXPButton::kHoverLeft), 0);
    const QRect inside(CXPButton::kEdge, CXPButton::kEdge, kWidth - 4, kHeight - 4);
    const QRect text = DarkBounds(Picture(button_), inside, 150);
    button_->setDown(true);
    QCOMPARE(DarkBounds(Picture(button_), inside, 150), text.translated(1, 1));
    button_->setDown(false);
    button_->setEnabled(false);
    QVERIFY(!text.isEmpty() && DarkBounds(Picture(button_), inside, 150).isEmpty());
    QVERIFY(DarkBounds(Picture(button_), inside, 3 * 200).intersects(text));
    button_->setText(QString());  // no caption: a plain face
    QVERIFY(DarkBounds(Picture(button_), inside, 3 * 200).isEmpty());
  }

  // The latest record of a cell wins, also on the screen, where a new colour
  // arrives by itself; a coloured row keeps a black "Info"; texts set from
  // another thread arrive.
  void cellColoursLastRecordWinsAndIsRepainted() {
    list_->SetItemText(0, 1, QStringLiteral("Completed"));
    const QRect cell = Cell(0, 1).translated(list_->viewport()->mapTo(window_, QPoint()));
    const auto screen = [&] { return window_->screen()->grabWindow(window_->winId()).toImage(); };
    QTRY_VERIFY(!DarkBounds(screen(), cell).isEmpty());
    list_->SetCellColor(0, 1, kRed);
    QTRY_VERIFY(CountPixels(screen(), cell, kRed, 60) > 0);
    list_->SetCellColor(0, 1, kBlue);
    list_->SetCellColor(0, 0, kRed);
    QTRY_VERIFY(CountPixels(screen(), cell, kBlue, 60) > 0);
    QCOMPARE(CountPixels(screen(), cell, kRed, 60), 0);
    QCOMPARE(list_->TextColorFor(0, 1), std::optional<QColor>(kBlue));
    QCOMPARE(list_->TextColorFor(0, 2), std::optional<QColor>(QColor(Qt::black)));
    list_->ClearCellColors();
    QCOMPARE(list_->TextColorFor(0, 1), std::nullopt);
    std::thread([this] { list_->SetItemText(3, 1, QStringLiteral("Failed")); }).join();  // as a worker would
    QTRY_COMPARE(list_->GetItemText(3, 1), QStringLiteral("Failed"));
  }

  // The bar fills only the current cell, to its percentage; percentages are
  // clamped, rows out of range change nothing; a new list starts at 0.
  void progressBarFillsOnlyTheCurrentCell() {
    list_->SetProgressColumn(1);
    QCOMPARE(BarPixels(list_->viewport()->rect()), 0);
    list_->StartProgress(2, 1);
    list_->SetRowPercentage(2, 50);
    list_->RedrawProgressCell(2);
    const QRect bar = list_->ProgressBarRect();
    QVERIFY(Cell(2, 1).contains(bar) && !bar.isEmpty());
    const QRect middle(bar.left(), bar.center().y(), bar.width(), 1);
    QVERIFY2(std::abs(BarPixels(middle) - (bar.width() - 2) / 2) <= 2, qPrintable(QString::number(BarPixels(middle))));
    QCOMPARE(BarPixels(Cell(1, 1)) + BarPixels(Cell(2, 2)), 0);
    list_->SetRowPercentage(2, 150);
    QCOMPARE(list_->RowPercentage(2), 100);
    list_->SuppressProgress();
    QCOMPARE(BarPixels(Cell(2, 1)), 0);
    list_->StopProgress();
    QCOMPARE(list_->CurrentProgressRow(), -1);
    list_->SetRowPercentage(3, -5);
    QCOMPARE(list_->RowPercentage(3), 0);
    list_->SetRowPercentage(-1, 40);
    list_->SetRowPercentage(CListCtrlEx::kMaxProgressRows, 40);
    QCOMPARE(list_->CurrentProgressRow(), 3);
    list_->SetCheck(99, true);  // rows that are not there: nothing to tick or read
    QVERIFY(!list_->GetCheck(99) && list_->GetItemText(99, 1).isEmpty());
    list_->DeleteAllItems();
    QCOMPARE(list_->RowPercentage(3), 0);
    QVERIFY(list_->ProgressBarRect().isEmpty());
  }
};

QTEST_MAIN(TestWidgets)
#include "widgets_test.moc"
