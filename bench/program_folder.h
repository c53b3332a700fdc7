#pragma once
// The program folder of a benchmark's command-line run: a configuration that
// reaches the simulated reader, the log on, and one application module.

#include <cstdint>
#include <string>

#include "support/temp_dir.h"

namespace orvane::bench {

struct ProgramFolderSpec {
  std::string tcpPort = "0";      // the configured TCP reader on 127.0.0.1
  uint32_t baud = 115200;         // the one serial speed to try
  int commands = 0;               // block commands of the module, with the two preamble halves and the trailer
};

// Writes the configuration and FirmwareApp/bench_application.fm (plus the
// empty kernel and UniApp folders) into `folder`; false when a file failed.
bool WriteProgramFolder(const test::TempDir& folder, const ProgramFolderSpec& spec);
// Rewrites only the configuration, for another reader of the same folder.
bool WriteConfiguration(const test::TempDir& folder, const ProgramFolderSpec& spec);

}  // namespace orvane::bench
