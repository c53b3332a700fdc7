#pragma once
// The program's version as it is shown to the user.

namespace orvane::cli {

inline constexpr const char* kProgramVersion = "2.00.020";

}  // namespace orvane::cli
