#include "ui/list_ctrl_ex.h"

#include <QHeaderView>
#include <QLinearGradient>
#include <QMetaObject>
#include <QPainter>
#include <QThread>

#include <algorithm>

#include "ui/program_style.h"

namespace orvane {

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableWidget(parent) {
  setItemDelegate(new CListCtrlExDelegate(this));
  setFont(ArialFont(16, 400));
  setShowGrid(true);
  setGridStyle(Qt::SolidLine);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setHighlightSections(false);

  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  // A light selection keeps coloured cell texts readable on selected rows.
  colours.setColor(QPalette::Highlight, QColor(204, 232, 255));
  colours.setColor(QPalette::HighlightedText, Qt::black);
  colours.setColor(QPalette::Inactive, QPalette::Highlight, QColor(217, 217, 217));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  setPalette(colours);
}

void CListCtrlEx::RunOnOwnThread(std::function<void()> action) {
  if (QThread::currentThread() == thread()) {
    action();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void CListCtrlEx::InsertColumn(int column, const QString& title, int width) {
  column = std::clamp(column, 0, columnCount());
  insertColumn(column);
  setHorizontalHeaderItem(column, new QTableWidgetItem(title));
  setColumnWidth(column, width);
}

int CListCtrlEx::InsertItem(int row, const QString& text) {
  row = std::clamp(row, 0, rowCount());
  insertRow(row);
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
  setItem(row, 0, item);
  for (int column = 1; column < columnCount(); ++column) {
    auto* cell = new QTableWidgetItem();
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, cell);
  }
  return row;
}

void CListCtrlEx::SetItemText(int row, int column, const QString& text) {
  RunOnOwnThread([this, row, column, text] {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    QTableWidgetItem* cell = item(row, column);
    if (cell == nullptr) {
      cell = new QTableWidgetItem();
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      setItem(row, column, cell);
    }
    cell->setText(text);
  });
}

QString CListCtrlEx::GetItemText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell != nullptr ? cell->text() : QString();
}

void CListCtrlEx::SetCheck(int row, bool checked) {
  if (QTableWidgetItem* cell = item(row, 0)) cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool CListCtrlEx::GetCheck(int row) const {
  const QTableWidgetItem* cell = item(row, 0);
  return cell != nullptr && cell->checkState() == Qt::Checked;
}

void CListCtrlEx::DeleteAllItems() {
  setRowCount(0);
  std::lock_guard lock(mutex_);
  std::fill(percentages_.begin(), percentages_.end(), 0);
}

void CListCtrlEx::EnsureVisible(int row) {
  RunOnOwnThread([this, row] {
    if (row >= 0 && row < rowCount()) scrollToItem(item(row, 0), QAbstractItemView::EnsureVisible);
  });
}

void CListCtrlEx::SetCellColor(int row, int column, const QColor& color) {
  {
    std::lock_guard lock(mutex_);
    colors_.push_back({row, column, color.rgb()});
  }
  RunOnOwnThread([this] { viewport()->update(); });
}

void CListCtrlEx::ClearCellColors() {
  {
    std::lock_guard lock(mutex_);
    colors_.clear();
  }
  RunOnOwnThread([this] { viewport()->update(); });
}

std::optional<QColor> CListCtrlEx::TextColorFor(int row, int column) const {
  std::lock_guard lock(mutex_);
  std::optional<QColor> color;
  bool rowColoured = false;
  for (const CellColorRecord& record : colors_) {
    if (record.row != row) continue;
    rowColoured = true;
    if (record.column == column) color = QColor(record.color);
  }
  if (column == kInfoColumn && rowColoured) color = QColor(Qt::black);
  return color;
}

void CListCtrlEx::SetProgressColumn(int column) {
  {
    std::lock_guard lock(mutex_);
    progressColumn_ = column;
  }
  RunOnOwnThread([this] { viewport()->update(); });
}

int CListCtrlEx::ProgressColumn() const {
  std::lock_guard lock(mutex_);
  return progressColumn_;
}

void CListCtrlEx::SetRowPercentage(int row, int percent) {
  if (row < 0 || row >= kMaxProgressRows) return;
  std::lock_guard lock(mutex_);
  if (percentages_.size() <= static_cast<size_t>(row)) percentages_.resize(static_cast<size_t>(row) + 1, 0);
  percentages_[static_cast<size_t>(row)] = std::clamp(percent, 0, 100);
  progressRow_ = row;
}

int CListCtrlEx::RowPercentage(int row) const {
  std::lock_guard lock(mutex_);
  if (row < 0 || static_cast<size_t>(row) >= percentages_.size()) return 0;
  return percentages_[static_cast<size_t>(row)];
}

int CListCtrlEx::CurrentProgressRow() const {
  std::lock_guard lock(mutex_);
  return progressRow_;
}

void CListCtrlEx::StartProgress(int row, int column) {
  SetProgressColumn(column);
  SetRowPercentage(row, 0);
  RedrawProgressCell(row);
}

void CListCtrlEx::RedrawProgressCell(int row) {
  RunOnOwnThread([this, row] {
    const int column = ProgressColumn();
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    QRect cell = visualRect(model()->index(row, column)).adjusted(-4, -4, 4, 4);
    viewport()->repaint(cell);
  });
}

void CListCtrlEx::StopProgress() {
  {
    std::lock_guard lock(mutex_);
    progressRow_ = -1;
    progressColumn_ = -1;
    suppressed_ = false;
  }
  RunOnOwnThread([this] { viewport()->update(); });
}

void CListCtrlEx::SuppressProgress() {
  {
    std::lock_guard lock(mutex_);
    suppressed_ = true;
  }
  RunOnOwnThread([this] { viewport()->update(); });
}

bool CListCtrlEx::ProgressCellVisible(int row, int column) const {
  std::lock_guard lock(mutex_);
  return !suppressed_ && progressRow_ >= 0 && row == progressRow_ && column == progressColumn_ &&
         progressColumn_ < columnCount();
}

QRect CListCtrlEx::ProgressBarRect() const {
  const int row = CurrentProgressRow();
  const int column = ProgressColumn();
  if (row >= rowCount() || !ProgressCellVisible(row, column)) return {};
  return visualRect(model()->index(row, column)).adjusted(2, 1, -2, -1);
}

void CListCtrlEx::PaintProgressBar(QPainter& painter, const QRect& rect, int percent) {
  if (rect.width() < 3 || rect.height() < 3) return;
  painter.save();
  painter.setPen(kBarBorder);
  painter.setBrush(kBarTrack);
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  const QRect inner = rect.adjusted(1, 1, -1, -1);
  const int filled = inner.width() * std::clamp(percent, 0, 100) / 100;
  if (filled > 0) {
    QRect chunk(inner.left(), inner.top(), filled, inner.height());
    QLinearGradient shade(chunk.topLeft(), chunk.bottomLeft());
    shade.setColorAt(0.0, kBarChunk.lighter(125));
    shade.setColorAt(0.45, kBarChunk);
    shade.setColorAt(1.0, kBarChunk.darker(110));
    painter.fillRect(chunk, shade);
  }
  painter.restore();
}

CListCtrlExDelegate::CListCtrlExDelegate(CListCtrlEx* list) : QStyledItemDelegate(list), list_(list) {}

void CListCtrlExDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (std::optional<QColor> color = list_->TextColorFor(index.row(), index.column())) {
    option->palette.setColor(QPalette::Text, *color);
    option->palette.setColor(QPalette::HighlightedText, *color);
  }
}

void CListCtrlExDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  if (!list_->ProgressCellVisible(index.row(), index.column())) return;
  CListCtrlEx::PaintProgressBar(*painter, option.rect.adjusted(2, 1, -2, -1), list_->RowPercentage(index.row()));
}

}  // namespace orvane
