#pragma once
// What every command gets: the options, where the program's files are, and
// the two output streams.

#include <cstdio>

#include "app/bootload_settings.h"
#include "cli/cli_options.h"
#include "cli/program_files.h"

namespace orvane::cli {

struct CliContext {
  CliOptions options;
  ProgramFiles files;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// Loads the configuration that `files` names. On failure prints the program's
// format-error text on the error stream and returns false.
bool LoadSettings(const CliContext& context, BootloadSettings& settings);

// Prints "orvane-bootload-cli: <message>" on the error stream.
void PrintError(const CliContext& context, const std::string& message);

// From here on, what goes wrong while a reader link starts (the TLS server's
// certificate, key or port) is printed like PrintError, with its reason; a
// problem that repeats on every retry is printed once until another one comes.
void ReportLinkProblemsAsErrors(const CliContext& context);

}  // namespace orvane::cli
