#include "ui/view_message_event.h"

#include <QCoreApplication>

#include "ui/ui_messages.h"

namespace orvane {

static_assert(kMainUpdateViewId == VIEW_ID_CONFIGURATION);

namespace {

class ViewMessageEvent final : public CUserMessage {
 public:
  explicit ViewMessageEvent(const ViewMessageFields& fields)
      : CUserMessage(static_cast<QEvent::Type>(fields.message), static_cast<uintptr_t>(fields.wParam),
                     static_cast<intptr_t>(fields.lParam)),
        sequence_(fields.sequence) {}
  uint64_t sequence() const { return sequence_; }

 private:
  uint64_t sequence_;
};

}  // namespace

void ReserveViewMessages() { ReserveUserMessages(); }

void PostViewMessageEvent(QObject* target, const ViewMessageFields& fields) {
  if (target == nullptr) return;
  QCoreApplication::postEvent(target, new ViewMessageEvent(fields));
}

bool ReadViewMessageEvent(const QEvent* event, ViewMessageFields& fields) {
  if (event->type() != kUpdateFinishedEvent && event->type() != kShowMessageBoxEvent &&
      event->type() != kViewRefreshEvent) {
    return false;
  }
  const auto* message = dynamic_cast<const CUserMessage*>(event);
  if (message == nullptr) return false;
  fields.message = static_cast<uint32_t>(event->type());
  fields.wParam = static_cast<int64_t>(message->wParam());
  fields.lParam = static_cast<int64_t>(message->lParam());
  const auto* posted = dynamic_cast<const ViewMessageEvent*>(event);
  fields.sequence = posted != nullptr ? posted->sequence() : 0;
  return true;
}

}  // namespace orvane
