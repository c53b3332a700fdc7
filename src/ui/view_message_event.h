#pragma once
// The main update view's messages as Qt events. Each keeps its message number
// as its event type (0x401, 0x402, 0x465); a message posted by the update engine
// also carries the sequence number that a sending worker waits for.

#include <cstdint>

class QEvent;
class QObject;

namespace orvane {

// The id under which the frame's view switch builds the main update view.
inline constexpr int kMainUpdateViewId = 3;

struct ViewMessageFields {
  uint32_t message = 0;
  int64_t wParam = 0;
  int64_t lParam = 0;
  uint64_t sequence = 0;  // 0: not from the engine, nobody waits for it
};

// Reserves the message numbers as event types. Safe to call more than once.
void ReserveViewMessages();
// Queues the message for `target`; callable from any thread.
void PostViewMessageEvent(QObject* target, const ViewMessageFields& fields);
// True when `event` is one of the program's messages (posted by the engine
// or by anyone else as a window message); fills `fields`.
bool ReadViewMessageEvent(const QEvent* event, ViewMessageFields& fields);

}  // namespace orvane
