#pragma once
// The program's window messages. They keep their historical numbers; all lie
// above QEvent::User, so each number is a QEvent::Type of its own.

#include <QEvent>
#include <QObject>

#include <cstdint>

#include "update/update_view.h"  // WM_UPDATE_FINISHED, WM_SHOW_MESSAGE_BOX, WM_VIEW_REFRESH

namespace orvane {

inline constexpr uint32_t WM_SWITCH_VIEW = 0x464;

// The messages as Qt event types.
inline constexpr QEvent::Type kUpdateFinishedEvent = static_cast<QEvent::Type>(WM_UPDATE_FINISHED);
inline constexpr QEvent::Type kShowMessageBoxEvent = static_cast<QEvent::Type>(WM_SHOW_MESSAGE_BOX);
inline constexpr QEvent::Type kSwitchViewEvent = static_cast<QEvent::Type>(WM_SWITCH_VIEW);
inline constexpr QEvent::Type kViewRefreshEvent = static_cast<QEvent::Type>(WM_VIEW_REFRESH);

// View ids carried by WM_SWITCH_VIEW.
inline constexpr int VIEW_ID_EMV_L2 = 2;
inline constexpr int VIEW_ID_CONFIGURATION = 3;

// One message with its two parameters.
class CUserMessage : public QEvent {
 public:
  CUserMessage(QEvent::Type type, uintptr_t wParam, intptr_t lParam)
      : QEvent(type), wParam_(wParam), lParam_(lParam) {}
  uintptr_t wParam() const { return wParam_; }
  intptr_t lParam() const { return lParam_; }

 private:
  uintptr_t wParam_;
  intptr_t lParam_;
};

// Reserves the message numbers so that no other part of the process is handed
// them by QEvent::registerEventType. Safe to call more than once.
void ReserveUserMessages();

// Queues the message for `target`; returns at once. Callable from any thread.
void PostUserMessage(QObject* target, QEvent::Type type, uintptr_t wParam, intptr_t lParam);

// Delivers the message to `target` and returns when its handler has run. From
// another thread this blocks until the target's thread has handled it, so the
// caller must not hold anything that thread waits for.
void SendUserMessage(QObject* target, QEvent::Type type, uintptr_t wParam, intptr_t lParam);

}  // namespace orvane
