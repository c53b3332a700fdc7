// CListCtrlEx: cell colour records, the black "Info" column, the in-cell
// progress bar, and the operations that worker threads call.

#include <QTest>

#include <thread>

#include "ui/list_ctrl_ex.h"
#include "ui_test_support.h"

using namespace orvane;
using orvane::test::CountPixels;

class TestListCtrlEx : public QObject {
  Q_OBJECT

 private:
  CListCtrlEx* list_ = nullptr;
  const QColor kRed{255, 0, 0};
  const QColor kBlue{0, 0, 255};
  const QColor kGreen{34, 177, 76};

  QRect Cell(int row, int column) const { return list_->visualRect(list_->model()->index(row, column)); }
  QImage Picture() const { return list_->viewport()->grab().toImage(); }
  int BarPixels(int row, int column) const {
    return CountPixels(Picture(), Cell(row, column), CListCtrlEx::kBarChunk, 40);
  }

 private slots:
  void init() {
    list_ = new CListCtrlEx();
    list_->InsertColumn(0, QStringLiteral("Please select the module file to update"), 280);
    list_->InsertColumn(1, QStringLiteral("Status"), 150);
    list_->InsertColumn(2, QStringLiteral("Info"), 160);
    const char* names[4] = {"x_bootloader.fm", "app_main.fm", "app_nfcrd_l2_amex.fm", "uni_wallet.fm"};
    for (int row = 0; row < 4; ++row) {
      list_->InsertItem(row, QString::fromLatin1(names[row]));
      list_->SetItemText(row, 2, QStringLiteral("Info text"));
    }
    list_->resize(600, 200);
    list_->show();
    QVERIFY(QTest::qWaitForWindowExposed(list_));
  }
  void cleanup() {
    delete list_;
    list_ = nullptr;
  }

  void rowsHaveUntickedCheckBoxesAndFullRowSelection() {
    QCOMPARE(list_->GetItemCount(), 4);
    QVERIFY(!list_->GetCheck(1));
    list_->SetCheck(1, true);
    QVERIFY(list_->GetCheck(1));
    QVERIFY(list_->item(1, 0)->flags() & Qt::ItemIsUserCheckable);
    QCOMPARE(list_->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(list_->showGrid());
    QCOMPARE(list_->columnCount(), 3);
    QCOMPARE(list_->columnWidth(0), 280);
  }

  void lastColourRecordWins() {
    list_->SetItemText(0, 1, QStringLiteral("Completed"));
    list_->SetCellColor(0, 1, kRed);
    list_->SetCellColor(0, 1, kBlue);
    // Both records are kept; the later one is used.
    QCOMPARE(list_->CellColors().size(), size_t{2});
    QCOMPARE(list_->TextColorFor(0, 1), std::optional<QColor>(kBlue));
    const QImage image = Picture();
    QVERIFY(CountPixels(image, Cell(0, 1), kBlue, 60) > 0);
    QCOMPARE(CountPixels(image, Cell(0, 1), kRed, 60), 0);

    // A record for another cell does not change this one.
    list_->SetCellColor(0, 0, kGreen);
    QCOMPARE(list_->TextColorFor(0, 1), std::optional<QColor>(kBlue));
  }

  void infoColumnIsBlackForAnyColouredRow_data() {
    QTest::addColumn<int>("recordColumn");
    QTest::newRow("status coloured") << 1;
    QTest::newRow("name coloured") << 0;
    QTest::newRow("info itself coloured") << 2;
  }
  void infoColumnIsBlackForAnyColouredRow() {
    QFETCH(int, recordColumn);
    list_->SetCellColor(1, recordColumn, kRed);
    QCOMPARE(list_->TextColorFor(1, 2), std::optional<QColor>(QColor(Qt::black)));
    QCOMPARE(CountPixels(Picture(), Cell(1, 2), kRed, 60), 0);
    // Rows without records keep the default colour everywhere.
    QCOMPARE(list_->TextColorFor(2, 2), std::nullopt);
    QCOMPARE(list_->TextColorFor(2, 1), std::nullopt);
  }

  void clearingDropsEveryRecord() {
    list_->SetCellColor(0, 1, kRed);
    list_->SetCellColor(3, 1, kBlue);
    list_->ClearCellColors();
    QVERIFY(list_->CellColors().empty());
    QCOMPARE(list_->TextColorFor(0, 1), std::nullopt);
    QCOMPARE(list_->TextColorFor(3, 2), std::nullopt);
  }

  void noBarWithoutCurrentRow() {
    list_->SetProgressColumn(1);
    QCOMPARE(list_->CurrentProgressRow(), -1);
    QVERIFY(list_->ProgressBarRect().isEmpty());
    for (int row = 0; row < 4; ++row) QCOMPARE(BarPixels(row, 1), 0);
  }

  void barShowsThePercentageOfTheCurrentRow() {
    list_->StartProgress(2, 1);
    list_->SetRowPercentage(2, 50);
    list_->RedrawProgressCell(2);
    const QRect bar = list_->ProgressBarRect();
    QVERIFY(!bar.isEmpty());
    QVERIFY(Cell(2, 1).contains(bar));
    const QImage image = Picture();
    // The chunk fills about half of the bar's inside, and only in that cell.
    const int chunkWidth = CountPixels(image, QRect(bar.left(), bar.center().y(), bar.width(), 1),
                                       CListCtrlEx::kBarChunk, 40);
    QVERIFY2(std::abs(chunkWidth - (bar.width() - 2) / 2) <= 2, qPrintable(QString::number(chunkWidth)));
    QCOMPARE(CountPixels(image, Cell(1, 1), CListCtrlEx::kBarChunk, 40), 0);
    QCOMPARE(CountPixels(image, Cell(2, 2), CListCtrlEx::kBarChunk, 40), 0);

    list_->SetRowPercentage(2, 100);
    list_->RedrawProgressCell(2);
    QVERIFY(CountPixels(Picture(), QRect(bar.left(), bar.center().y(), bar.width(), 1), CListCtrlEx::kBarChunk, 40) >=
            bar.width() - 3);
  }

  void stopAndSuppressHideTheBar() {
    list_->StartProgress(0, 1);
    list_->SetRowPercentage(0, 70);
    QVERIFY(BarPixels(0, 1) > 0);

    list_->SuppressProgress();
    QVERIFY(list_->ProgressBarRect().isEmpty());
    QCOMPARE(BarPixels(0, 1), 0);

    list_->StopProgress();
    QCOMPARE(list_->CurrentProgressRow(), -1);
    QCOMPARE(list_->ProgressColumn(), -1);
    QVERIFY(!list_->IsProgressSuppressed());
    QCOMPARE(BarPixels(0, 1), 0);
  }

  void percentagesStartAtZeroForEveryRowAndStayInRange() {
    for (int row = 4; row < 40; ++row) list_->InsertItem(row, QStringLiteral("more_%1.fm").arg(row));
    for (int row = 0; row < 40; ++row) QCOMPARE(list_->RowPercentage(row), 0);
    list_->SetRowPercentage(30, 150);
    QCOMPARE(list_->RowPercentage(30), 100);
    QCOMPARE(list_->CurrentProgressRow(), 30);
    list_->SetRowPercentage(31, -5);
    QCOMPARE(list_->RowPercentage(31), 0);
    // A row that cannot exist changes nothing.
    list_->SetRowPercentage(-1, 40);
    QCOMPARE(list_->CurrentProgressRow(), 31);
    list_->SetRowPercentage(CListCtrlEx::kMaxProgressRows, 40);
    QCOMPARE(list_->CurrentProgressRow(), 31);
  }

  void workerThreadsWriteCellsAndProgress() {
    std::thread worker([this] {
      list_->SetItemText(3, 1, QStringLiteral("Failed"));
      list_->SetCellColor(3, 1, kRed);
      list_->StartProgress(3, 1);
      list_->SetRowPercentage(3, 25);
      list_->RedrawProgressCell(3);
      list_->EnsureVisible(3);
    });
    worker.join();
    QTRY_COMPARE(list_->GetItemText(3, 1), QStringLiteral("Failed"));
    QCOMPARE(list_->TextColorFor(3, 1), std::optional<QColor>(kRed));
    QCOMPARE(list_->RowPercentage(3), 25);
    QTRY_VERIFY(!list_->ProgressBarRect().isEmpty());
  }

  void deletingAllRowsResetsPercentages() {
    list_->SetRowPercentage(1, 60);
    list_->DeleteAllItems();
    QCOMPARE(list_->GetItemCount(), 0);
    QCOMPARE(list_->RowPercentage(1), 0);
    QVERIFY(list_->ProgressBarRect().isEmpty());
  }
};

QTEST_MAIN(TestListCtrlEx)
#include "list_ctrl_ex_test.moc"
