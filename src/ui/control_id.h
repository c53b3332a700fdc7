#pragma once
// Numeric control ids, kept on the widgets as a property so that forms, their
// code and the tests can name a control the same way.

#include <QWidget>

namespace orvane {

inline constexpr int kFirstPaneId = 0xE900;  // id of the frame's active view

void SetControlId(QWidget* widget, int id);
// The id set on the widget, or -1 when it has none.
int ControlId(const QWidget* widget);

// The first descendant of `parent` with that id and type, or nullptr.
template <typename T = QWidget>
T* FindControl(const QWidget* parent, int id) {
  for (T* child : parent->findChildren<T*>()) {
    if (ControlId(child) == id) return child;
  }
  return nullptr;
}

}  // namespace orvane
