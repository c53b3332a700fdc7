#pragma once
// The list of module files: check boxes, grid lines, full-row selection, cells
// whose text colour is set one by one, and a progress bar drawn in the
// progress column of the row being transferred.
//
// The update procedures run on worker threads and call the cell colour, cell
// text and progress operations directly; those operations may be called from
// any thread. Everything else belongs to the user-interface thread.

#include <QColor>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane {

struct CellColorRecord {
  int row;
  int column;
  QRgb color;
};

class CListCtrlEx : public QTableWidget {
  Q_OBJECT

 public:
  // Column whose text turns black as soon as its row has any colour record.
  static constexpr int kInfoColumn = 2;
  // Rows beyond this many keep no percentage.
  static constexpr int kMaxProgressRows = 65536;

  static inline const QColor kBarBorder{188, 188, 188};
  static inline const QColor kBarTrack{230, 230, 230};
  static inline const QColor kBarChunk{6, 176, 37};

  explicit CListCtrlEx(QWidget* parent = nullptr);

  // Columns and rows.
  void InsertColumn(int column, const QString& title, int width);
  // Inserts a row with an unticked check box and `text` in column 0.
  int InsertItem(int row, const QString& text);
  void SetItemText(int row, int column, const QString& text);  // any thread
  QString GetItemText(int row, int column) const;
  void SetCheck(int row, bool checked);
  bool GetCheck(int row) const;
  int GetItemCount() const { return rowCount(); }
  void DeleteAllItems();
  void EnsureVisible(int row);  // any thread

  // Cell colours. Records are only appended; for a cell the last matching
  // record wins.
  void SetCellColor(int row, int column, const QColor& color);  // any thread
  void ClearCellColors();                                       // any thread
  // The text colour of a cell, or nothing for the default colour.
  std::optional<QColor> TextColorFor(int row, int column) const;

  // Progress display.
  void SetProgressColumn(int column);  // any thread
  int ProgressColumn() const;
  // Stores the row's percentage (kept within 0..100) and makes the row the
  // current progress row.
  void SetRowPercentage(int row, int percent);  // any thread
  int RowPercentage(int row) const;
  int CurrentProgressRow() const;
  // Shows a bar at 0 % in `column` of `row`.
  void StartProgress(int row, int column);  // any thread
  // Repaints the row's progress cell (with a few pixels around it) now.
  void RedrawProgressCell(int row);  // any thread
  // No current row, no progress column, display allowed again.
  void StopProgress();  // any thread
  // Keeps the bar hidden until the display is stopped.
  void SuppressProgress();  // any thread
  // Where the bar is drawn now, in viewport coordinates; empty when none is.
  QRect ProgressBarRect() const;

  // Paints a bar at `percent` into `rect`.
  static void PaintProgressBar(QPainter& painter, const QRect& rect, int percent);

 private:
  void RunOnOwnThread(std::function<void()> action);
  bool ProgressCellVisible(int row, int column) const;

  mutable std::mutex mutex_;
  std::vector<CellColorRecord> colors_;
  std::vector<int> percentages_;
  int progressColumn_ = -1;
  int progressRow_ = -1;
  bool suppressed_ = false;

  friend class CListCtrlExDelegate;
};

// Draws the list's cells: the recorded text colours and the progress bar.
class CListCtrlExDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit CListCtrlExDelegate(CListCtrlEx* list);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  CListCtrlEx* list_;
};

}  // namespace orvane
