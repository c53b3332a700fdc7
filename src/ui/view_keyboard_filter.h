#pragma once
// Swallows Ctrl+A, C, F, V, X, Y and Z inside one widget and its children
// (the main update view): the form offers no editing, and the list would
// otherwise select or copy, and the frame's shortcuts would fire.

#include <QObject>

class QKeyEvent;
class QWidget;

namespace orvane {

class ViewKeyboardFilter : public QObject {
  Q_OBJECT

 public:
  // Filters key events for `scope` and every widget inside its window that
  // descends from it, from the moment of construction until destruction.
  explicit ViewKeyboardFilter(QWidget* scope);
  ~ViewKeyboardFilter() override;

  // The key combinations that are swallowed.
  static bool IsFilteredKey(const QKeyEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* scope_;
};

}  // namespace orvane
