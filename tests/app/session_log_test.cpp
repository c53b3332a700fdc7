#include "app/session_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "app/program_folder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

// Each write replaces the log exactly and leaves no temporary file behind;
// where the program folder cannot be written, the log goes to the user's
// state folder, and the returned path says so to the caller, silently.
TEST(SessionLog, ReplacedExactlyInTheProgramFolderOrElseInTheStateFolder) {
  TempDir dir, state;
  SetProgramFolderOverride(dir.path());
  for (const std::string& content :
       {std::string("first run\r\nline two\r\n"), std::string("a\0b\xff\r\n", 6), std::string()}) {
    EXPECT_EQ(WriteSessionLog(content), dir.File("ORV_Bootload_log.txt"));
    EXPECT_EQ(TempDir::Read(dir.File("ORV_Bootload_log.txt")), content);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  const char* old = std::getenv("XDG_STATE_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  SetProgramFolderOverride(dir.File("does-not-exist"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(WriteSessionLog("one"), state.path() + "/orvane-bootload/ORV_Bootload_log.txt");
  EXPECT_EQ(WriteSessionLog("two"), state.path() + "/orvane-bootload/ORV_Bootload_log.txt");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(TempDir::Read(state.path() + "/orvane-bootload/ORV_Bootload_log.txt"), "two");
  SetProgramFolderOverride("");
  if (old)
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace orvane
