#pragma once
// udev rules that let the logged-in user reach the reader without root: the
// hidraw nodes of every configured USB identity and the ttys of USB serial
// adapters get TAG+="uaccess".

#include <string>
#include <vector>

#include "app/bootload_settings.h"

namespace orvane::cli {

// Installed as 70-orvane-bootload.rules: uaccess must be tagged before
// 73-seat-late.rules applies it.
inline constexpr const char* kUdevRulesFileName = "70-orvane-bootload.rules";

std::string UdevRulesText(const std::vector<VidPidEntry>& identities);

}  // namespace orvane::cli
