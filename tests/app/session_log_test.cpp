#include "app/session_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iterator>

#include "app/program_folder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

class SessionLogTest : public testing::Test {
 protected:
  void SetUp() override { SetProgramFolderOverride(dir_.path()); }
  void TearDown() override { SetProgramFolderOverride(""); }
  TempDir dir_;
};

TEST_F(SessionLogTest, EachWriteReplacesTheFileExactlyAndLeavesNothingElse) {
  std::string path = WriteSessionLog("first run\r\nline two\r\n");
  EXPECT_EQ(path, dir_.File("ORV_Bootload_log.txt"));
  EXPECT_EQ(TempDir::Read(path), "first run\r\nline two\r\n");

  std::string binary("a\0b\xff\r\n", 6);
  WriteSessionLog(binary);
  EXPECT_EQ(TempDir::Read(path), binary);

  WriteSessionLog("");
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  auto entries = std::filesystem::directory_iterator(dir_.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);  // no temporary files behind
}

TEST_F(SessionLogTest, UnwritableProgramFolderFallsBackToStateFolder) {
  TempDir state;
  const char* old = std::getenv("XDG_STATE_HOME");
  std::string saved = old ? old : "";
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  SetProgramFolderOverride(dir_.File("does-not-exist"));

  testing::internal::CaptureStderr();
  std::string first = WriteSessionLog("one");
  std::string second = WriteSessionLog("two");
  std::string said = testing::internal::GetCapturedStderr();

  EXPECT_EQ(first, state.path() + "/orvane-bootload/ORV_Bootload_log.txt");
  EXPECT_EQ(second, first);
  EXPECT_EQ(TempDir::Read(first), "two");
  // The path tells the caller, who tells the operator in the program's own way.
  EXPECT_EQ(said, "");

  if (old) ::setenv("XDG_STATE_HOME", saved.c_str(), 1); else ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace orvane
