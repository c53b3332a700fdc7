#include "transport/message_hook.h"

#include <iostream>
#include <mutex>

namespace orvane {

namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

MessageHook& Hook() {
  static MessageHook hook;
  return hook;
}

}  // namespace

void SetMessageHook(MessageHook hook) {
  std::lock_guard lock(HookMutex());
  Hook() = std::move(hook);
}

void ShowMessage(std::string_view text) {
  MessageHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = Hook();
  }
  // Called outside the lock: a dialog may run an event loop.
  if (hook) {
    hook(text);
  } else {
    std::cerr << text << '\n';
  }
}

}  // namespace orvane
