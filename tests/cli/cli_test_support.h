#pragma once
// Running orvane-bootload-cli from the tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace orvane::test {

std::string CliPath();
std::string SimulatorPath();  // empty when the simulated reader is not built
std::string SourcePath(const std::string& relative);

// Pauses of the procedures and of the simulated reader run this much faster.
inline constexpr const char* kScale = "10";

// The user's configuration and state folders are the test's own, so that
// nothing of the machine's leaks in; `dir_` holds the test's files.
class CliTest : public ::testing::Test {
 protected:
  TempDir home_;
  TempDir dir_;
  std::vector<std::string> lead_;  // arguments put before every command line's own

  ProcessSpec CliSpec(const std::vector<std::string>& args) const;
  ProcessResult Cli(const std::vector<std::string>& args, std::string input = {}, bool terminal = false) const;
};

}  // namespace orvane::test
