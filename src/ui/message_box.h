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

}  // namespace orvane
