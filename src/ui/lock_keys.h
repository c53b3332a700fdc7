#pragma once
// The state of the Caps Lock, Num Lock and Scroll Lock keys, as the keyboard
// LEDs show it.

namespace orvane {

struct LockKeys {
  bool caps = false;
  bool num = false;
  bool scroll = false;
};

// Reads the LEDs under /sys/class/leds; all off when the system shows none.
LockKeys ReadLockKeys();

}  // namespace orvane
