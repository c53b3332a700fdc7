#pragma once
// Exit statuses of orvane-bootload-cli; scripts depend on them.

namespace orvane::cli {

inline constexpr int kExitOk = 0;         // the command succeeded
inline constexpr int kExitFailed = 1;     // an update or a reader command failed, or the run was stopped
inline constexpr int kExitUsage = 2;      // usage error, configuration that fails to load, unreadable file
inline constexpr int kExitNoReader = 3;   // no reader found within --timeout

}  // namespace orvane::cli
