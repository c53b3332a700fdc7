#include "ui/ui_messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <mutex>

namespace orvane {

void ReserveUserMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (QEvent::Type type : {kUpdateFinishedEvent, kShowMessageBoxEvent, kSwitchViewEvent, kViewRefreshEvent}) {
      QEvent::registerEventType(type);
    }
  });
}

void PostUserMessage(QObject* target, QEvent::Type type, uintptr_t wParam, intptr_t lParam) {
  if (target == nullptr) return;
  QCoreApplication::postEvent(target, new CUserMessage(type, wParam, lParam));
}

void SendUserMessage(QObject* target, QEvent::Type type, uintptr_t wParam, intptr_t lParam) {
  if (target == nullptr) return;
  if (QThread::currentThread() == target->thread()) {
    CUserMessage message(type, wParam, lParam);
    QCoreApplication::sendEvent(target, &message);
    return;
  }
  QMetaObject::invokeMethod(
      target,
      [target, type, wParam, lParam] {
        CUserMessage message(type, wParam, lParam);
        QCoreApplication::sendEvent(target, &message);
      },
      Qt::BlockingQueuedConnection);
}

}  // namespace orvane
