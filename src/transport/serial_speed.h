#pragma once
// The line speed of an open serial port in bits per second, also for rates
// that have no B constant (14400, 28800, 56000, 128000, 256000 and the like):
// Linux takes any rate through termios2. Kept apart from serial_settings
// because the kernel's termios2 header cannot share a unit with <termios.h>.

#include <cstdint>
#include <optional>

namespace orvane {

// Asks for `baud` on the open port `fd` and reads back what the driver took
// (drivers round to what their clock can make, and some keep the old speed
// for a rate they cannot make). False when the system refuses the request or
// the line runs more than 2 % away from it, too far for the reader's UART;
// `actual` then holds the speed the line runs at (0 when not known).
bool SetLineSpeed(int fd, uint32_t baud, uint32_t& actual);

// The speed the port runs at; nullopt when it cannot be read.
std::optional<uint32_t> LineSpeed(int fd);

}  // namespace orvane
