#pragma once
// Finds one of this process's top-level windows by the start of its caption.

#include <QString>

class QWidget;

namespace orvane {

class WindowFinder {
 public:
  // The first visible top-level window whose caption begins with `prefix`,
  // compared without regard to letter case; nullptr when there is none.
  // Windows without a caption never match.
  static QWidget* FindWindowStartingWith(const QString& prefix);

  // Brings a window to the front, restoring it when it is minimized.
  static void BringToFront(QWidget* window);
};

}  // namespace orvane
