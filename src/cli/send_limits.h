#pragma once
// Why a module file that passes the checks of the file list can still never
// be loaded as the operator expects, in words for `inspect` and `list`. The
// update itself is not changed by these notes: it refuses such a module (or,
// for a kernel name, loads it as module 0) as it always has.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/firmware_file.h"

namespace orvane::cli {

// An application or bootloader module whose header was read last by `file`:
// a piece over the 1040-byte limit, more than 2048 commands.
std::vector<std::string> ModuleNotes(const FirmwareFile& file);

// A kernel or UniApp file of `length` bytes: more than 2048 chunks.
std::vector<std::string> RawNotes(uint64_t length);

// A kernel file whose name matches no module number loads as module 0.
std::vector<std::string> KernelNameNotes(std::string_view name);

}  // namespace orvane::cli
