#pragma once
// The command and sub-command bytes of the header commands the program sends.
// The bootload command carries every step of an update, told apart by its
// sub-command.

#include <cstdint>

namespace orvane {

inline constexpr uint8_t kBootCommand = 0xC7;
inline constexpr uint8_t kEnterBootloaderSub = 0x41;
inline constexpr uint8_t kBootloadBlockSub = 0x43;

// The sub-commands of a kernel or UniApp load: it begins, carries its chunks
// one block command each, and finishes.
struct LoadSubCommands {
  uint8_t begin;
  uint8_t block;
  uint8_t finish;
};
inline constexpr LoadSubCommands kKernelLoad{.begin = 0x11, .block = 0x14, .finish = 0x15};
inline constexpr LoadSubCommands kUniAppLoad{.begin = 0x45, .block = 0x46, .finish = 0x47};

inline constexpr uint8_t kVersionCommand = 0x29;
inline constexpr uint8_t kKeyboardVersionCommand = 0x22;

inline constexpr uint8_t kPassThroughCommand = 0x63;
inline constexpr uint8_t kPassThroughSub = 0x02;

}  // namespace orvane
