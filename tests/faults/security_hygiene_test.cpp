// Security hygiene: names that must stay inside their folder.

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "update/engine_rig.h"

namespace orvane::test {
namespace {

// A module name on the command line must be one of the listed file names: a
// path that leads out of the firmware folder is refused before any reader is
// looked for.
TEST(CommandLineModules, RefusesNamesThatAreNotListedFiles) {
  TempDir folder;
  const std::string config =
      folder.Write(kConfigurationFileName, "<BOOTLOAD_SETTING><s baudrateList=\"115200\"/></BOOTLOAD_SETTING>");
  ASSERT_TRUE(AddAppModule(folder.path(), "app.fm", AppModuleSpec(true, 2)));
  ASSERT_TRUE(WriteModuleFile(folder.File("outside.fm"), AppModuleSpec(true, 2)));
  for (const char* name : {"../outside.fm", "FirmwareApp/app.fm", "./app.fm", "APP.FM"}) {
    const ProcessResult run = RunProcess(ProcessSpec::Of(
        {ORVANE_CLI_EXE, "update", "--folder", folder.path(), "--config", config, "--yes", "--timeout", "1", name}));
    EXPECT_EQ(run.exitCode, 2) << name << ": " << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("no listed module is named"), std::string::npos) << run.out << run.err;
  }
}

TEST(PathInFolder, KeepsEveryPathInsideItsFolder) {
  EXPECT_EQ(PathInFolder("/opt/orvane", "app v1..2.fm"), "/opt/orvane/app v1..2.fm");
  for (const std::string name : {"", ".", "..", "../etc/passwd", "/etc/passwd", "a/b.fm"}) {
    EXPECT_EQ(PathInFolder("/opt/orvane", name), "") << name;
  }
  EXPECT_EQ(PathInFolder("/opt/orvane", std::string("a\0b", 3)), "");
}

}  // namespace
}  // namespace orvane::test
