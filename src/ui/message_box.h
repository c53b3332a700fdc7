#pragma once
// The program's message boxes. The display is replaceable so that tests can
// see what would have been shown without a modal box waiting for a click.

#include <QString>

#include <functional>

class QWidget;

namespace orvane {

using MessageBoxHook = std::function<void(QWidget* parent, const QString& text, const QString& caption)>;

// Replaces the display; an empty hook restores the real message box.
void SetMessageBoxHook(MessageBoxHook hook);

// Shows `text` with an OK button and returns when it is dismissed.
void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption = QString());

// The same box for news that must not hold anyone up: callable from any
// thread, it returns at once and the box appears on the user-interface thread,
// modal to its window. A text whose box is still open is not shown twice, so
// a problem that repeats on every retry gives one box at a time.
void ShowMessageBoxLater(QWidget* parent, const QString& text, const QString& caption = QString());

}  // namespace orvane
