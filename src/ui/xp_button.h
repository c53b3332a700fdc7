#pragma once
// The program's push button: a rounded black border, a face shaded from top to
// bottom in 64 steps whose tint follows hover and focus, an orange frame while
// the mouse is over it, and text that moves by a pixel while it is pressed.

#include <QColor>
#include <QPushButton>

namespace orvane {

class CXPButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CXPButton(const QString& text = QString(), QWidget* parent = nullptr);

  // Colour of shade step `step` (0..63) for the given state.
  static QColor FaceColor(int step, bool hovered, bool focused);

  // The hover frame's edges.
  static inline const QColor kHoverLeft{250, 196, 88};
  static inline const QColor kHoverRight{251, 203, 106};
  static inline const QColor kHoverTop{252, 210, 121};
  static inline const QColor kHoverBottom{229, 151, 0};
  static constexpr int kEdge = 2;  // border inset of the face

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool hovered_ = false;
};

}  // namespace orvane
