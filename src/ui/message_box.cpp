#include "ui/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <mutex>

#include "ui/program_style.h"

namespace orvane {
namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;

MessageBoxHook CurrentHook() {
  std::lock_guard lock(g_hookMutex);
  return g_hook;
}

// Texts of the boxes that ShowMessageBoxLater has open (user-interface thread only).
QSet<QString>& OpenTexts() {
  static QSet<QString> texts;
  return texts;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard lock(g_hookMutex);
  g_hook = std::move(hook);
}

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption) {
  const QString title = caption.isEmpty() ? QString::fromLatin1(kProductName) : caption;
  if (MessageBoxHook hook = CurrentHook()) {
    hook(parent, text, title);
    return;
  }
  QMessageBox box(QMessageBox::Warning, title, DisplayText(text), QMessageBox::Ok, parent);
  box.exec();
}

void ShowMessageBoxLater(QWidget* parent, const QString& text, const QString& caption) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [owner = QPointer<QWidget>(parent), text, caption] {
        const QString title = caption.isEmpty() ? QString::fromLatin1(kProductName) : caption;
        if (MessageBoxHook hook = CurrentHook()) {
          hook(owner, text, title);
          return;
        }
        if (OpenTexts().contains(text)) return;
        OpenTexts().insert(text);
        auto* box = new QMessageBox(QMessageBox::Warning, title, DisplayText(text), QMessageBox::Ok, owner);
        box->setAttribute(Qt::WA_DeleteOnClose);
        // Closed by the operator or gone with its window: the text may be shown again.
        QObject::connect(box, &QObject::destroyed, [text] { OpenTexts().remove(text); });
        box->open();
      },
      Qt::QueuedConnection);
}

}  // namespace orvane
