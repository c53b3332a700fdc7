#include "ui/view_keyboard_filter.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace orvane {

ViewKeyboardFilter::ViewKeyboardFilter(QWidget* scope) : QObject(scope), scope_(scope) {
  // Key events go to the focus widget, which may be any child of the view;
  // an application-wide filter sees them before the child and before the
  // shortcut map does.
  QCoreApplication::instance()->installEventFilter(this);
}

ViewKeyboardFilter::~ViewKeyboardFilter() {
  if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

bool ViewKeyboardFilter::IsFilteredKey(const QKeyEvent& event) {
  if (!(event.modifiers() & Qt::ControlModifier)) return false;
  switch (event.key()) {
    case Qt::Key_A:
    case Qt::Key_C:
    case Qt::Key_F:
    case Qt::Key_V:
    case Qt::Key_X:
    case Qt::Key_Y:
    case Qt::Key_Z:
      return true;
    default:
      return false;
  }
}

bool ViewKeyboardFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || (widget != scope_ && !scope_->isAncestorOf(widget))) return false;
  if (!IsFilteredKey(*static_cast<QKeyEvent*>(event))) return false;
  // An accepted shortcut override keeps the frame's shortcuts from firing;
  // the key press that follows is swallowed here as well.
  event->accept();
  return true;
}

}  // namespace orvane
