#include "ui/xp_button.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPen>

namespace orvane {

CXPButton::CXPButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setAttribute(Qt::WA_Hover);
}

QColor CXPButton::FaceColor(int step, bool hovered, bool focused) {
  const int i = std::clamp(step, 0, 63);
  if (!hovered && !focused) return QColor(255 - i / 3, 255 - i / 3, 255 - i / 5);
  if (!hovered && focused) return QColor(255 - i / 3, 255 - i / 3, 255 - i / 4);
  if (hovered && !focused) return QColor(255 - i / 4, 255 - i / 4, 255 - i / 5);
  return QColor(255 - i / 4, 255 - i / 4, 255 - i / 3);
}

QSize CXPButton::sizeHint() const {
  QFontMetrics metrics(font());
  QSize text = metrics.size(Qt::TextShowMnemonic, this->text());
  return QSize(text.width() + 24, text.height() + 12);
}

void CXPButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect item = rect();
  const bool focused = hasFocus();

  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(item).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  painter.setRenderHint(QPainter::Antialiasing, false);

  const QRect face = item.adjusted(kEdge, kEdge, -kEdge, -kEdge);
  const int height = std::max(1, face.height());
  for (int y = 0; y < face.height(); ++y) {
    painter.fillRect(face.left(), face.top() + y, face.width(), 1, FaceColor(63 * y / height, hovered_, focused));
  }

  if (hovered_) {
    // Inclusive edges of the face rectangle.
    const int left = face.left();
    const int top = face.top();
    const int right = face.left() + face.width();
    const int bottom = face.top() + face.height();
    painter.setPen(QPen(kHoverLeft, 3, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(left + 0.5, bottom - 3), QPointF(left + 0.5, top + 2));
    painter.setPen(QPen(kHoverRight, 3, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(right - 0.5, bottom - 3), QPointF(right - 0.5, top + 2));
    painter.setPen(QPen(kHoverTop, 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(left + 2, top + 1), QPointF(right - 2, top + 1));
    painter.setPen(QPen(kHoverBottom, 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(left + 2, bottom - 1), QPointF(right - 2, bottom - 1));
  }

  const QString caption = text();
  if (caption.isEmpty()) return;
  QRect textRect = face;
  if (isDown()) textRect.translate(1, 1);
  painter.setFont(font());
  const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  if (!isEnabled()) {
    // Embossed: a light copy one pixel down and right under the grey text.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(textRect.translated(1, 1), flags, caption);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Dark));
    painter.drawText(textRect, flags, caption);
    return;
  }
  painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
  painter.drawText(textRect, flags, caption);
}

void CXPButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QPushButton::enterEvent(event);
}

void CXPButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QPushButton::leaveEvent(event);
}

}  // namespace orvane
