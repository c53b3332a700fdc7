#include "ui/window_messages.h"

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

void PostViewMessage(QObject* target, const ViewMessage& message) {
  if (target == nullptr) return;
  QCoreApplication::postEvent(target, new CUserMessage(static_cast<QEvent::Type>(message.kind), 0,
                                                       static_cast<intptr_t>(message.refresh), message.sequence));
}

std::optional<ViewMessage> ReadViewMessage(const QEvent* event) {
  if (event->type() != kUpdateFinishedEvent && event->type() != kShowMessageBoxEvent &&
      event->type() != kViewRefreshEvent) {
    return std::nullopt;
  }
  const auto* message = dynamic_cast<const CUserMessage*>(event);
  if (message == nullptr) return std::nullopt;
  ViewMessage read;
  read.kind = static_cast<ViewMessageKind>(event->type());
  read.refresh = static_cast<ViewRefresh>(message->lParam());
  read.sequence = message->sequence();
  return read;
}

}  // namespace orvane
