#pragma once
// The --help text and the version line.

#include <cstdio>

namespace orvane::cli {

inline constexpr const char* kProgramName = "orvane-bootload-cli";

void PrintUsage(std::FILE* out);
void PrintVersion(std::FILE* out);

}  // namespace orvane::cli
