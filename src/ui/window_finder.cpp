#include "ui/window_finder.h"

#include <QApplication>
#include <QWidget>

namespace orvane {
namespace {
// Captions are read into a buffer of this many characters, terminator included.
constexpr int kCaptionBuffer = 1024;
}  // namespace

QWidget* WindowFinder::FindWindowStartingWith(const QString& prefix) {
  const QString wanted = prefix.toUpper();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    QString caption = window->windowTitle().left(kCaptionBuffer - 1);
    if (caption.isEmpty()) continue;
    if (!caption.toUpper().startsWith(wanted)) continue;
    if (!window->isVisible()) continue;
    return window;
  }
  return nullptr;
}

void WindowFinder::BringToFront(QWidget* window) {
  if (window == nullptr) return;
  if (window->isMinimized()) window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window->raise();
  window->activateWindow();
}

}  // namespace orvane
