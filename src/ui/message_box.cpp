#include "ui/message_box.h"

#include <QMessageBox>

#include <mutex>

#include "ui/program_style.h"

namespace orvane {
namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard lock(g_hookMutex);
  g_hook = std::move(hook);
}

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption) {
  const QString title = caption.isEmpty() ? QString::fromLatin1(kProductName) : caption;
  MessageBoxHook hook;
  {
    std::lock_guard lock(g_hookMutex);
    hook = g_hook;
  }
  if (hook) {
    hook(parent, text, title);
    return;
  }
  QMessageBox box(QMessageBox::Warning, title, DisplayText(text), QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace orvane
