#pragma once
// The program's window messages. They keep their historical numbers; all lie
// above QEvent::User, so each number is a QEvent::Type of its own.

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <optional>

#include "update/update_view.h"  // ViewMessageKind, ViewRefresh

namespace orvane {

inline constexpr uint32_t WM_UPDATE_FINISHED = static_cast<uint32_t>(ViewMessageKind::UpdateFinished);
inline constexpr uint32_t WM_SHOW_MESSAGE_BOX = static_cast<uint32_t>(ViewMessageKind::ShowMessageBox);
inline constexpr uint32_t WM_SWITCH_VIEW = 0x464;
inline constexpr uint32_t WM_VIEW_REFRESH = static_cast<uint32_t>(ViewMessageKind::Refresh);

// The messages as Qt event types.
inline constexpr QEvent::Type kUpdateFinishedEvent = static_cast<QEvent::Type>(WM_UPDATE_FINISHED);
inline constexpr QEvent::Type kShowMessageBoxEvent = static_cast<QEvent::Type>(WM_SHOW_MESSAGE_BOX);
inline constexpr QEvent::Type kSwitchViewEvent = static_cast<QEvent::Type>(WM_SWITCH_VIEW);
inline constexpr QEvent::Type kViewRefreshEvent = static_cast<QEvent::Type>(WM_VIEW_REFRESH);

// View ids carried by WM_SWITCH_VIEW.
inline constexpr int VIEW_ID_EMV_L2 = 2;
inline constexpr int VIEW_ID_CONFIGURATION = 3;
// The id under which the frame's view switch builds the main update view.
inline constexpr int kMainUpdateViewId = VIEW_ID_CONFIGURATION;

// One message with its two parameters. A message that the update engine
// posted also carries the sequence number that a sending worker waits for.
class CUserMessage : public QEvent {
 public:
  CUserMessage(QEvent::Type type, uintptr_t wParam, intptr_t lParam, uint64_t sequence = 0)
      : QEvent(type), wParam_(wParam), lParam_(lParam), sequence_(sequence) {}
  uintptr_t wParam() const { return wParam_; }
  intptr_t lParam() const { return lParam_; }
  uint64_t sequence() const { return sequence_; }  // 0: not from the engine, nobody waits for it

 private:
  uintptr_t wParam_;
  intptr_t lParam_;
  uint64_t sequence_;
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

// The update engine's messages as window messages: the kind is the event
// type, a refresh's kind the lParam. Posting is callable from any thread.
void PostViewMessage(QObject* target, const ViewMessage& message);
// The view message that `event` carries, whether the engine posted it or
// anyone else sent the window message; nothing for other events.
std::optional<ViewMessage> ReadViewMessage(const QEvent* event);

}  // namespace orvane
