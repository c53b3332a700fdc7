// The command line on module folders and files, as a process: list, inspect,
// udev-rules, make-demo, the search order of its files and its usage errors.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "app/bootload_settings.h"
#include "cli_test_support.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

std::string Config(const std::string& vidPid) {
  return "<BOOTLOAD_SETTING><USB vid_pid=\"" + vidPid + "\"/><S baudrateList=\"9600\"/></BOOTLOAD_SETTING>\n";
}

ModuleSpec AppSpec(const std::string& info) {
  ModuleSpec spec;
  spec.infoText = info;
  spec.blockSize = 16;
  spec.blockCount = 2;
  return spec;
}

class CliFiles : public ::testing::Test {
 protected:
  TempDir home_;  // stands for the user's configuration folder
  TempDir dir_;

  std::string Make(const std::string& relative) {
    fs::create_directories(dir_.File(relative));
    return dir_.File(relative);
  }
};

TEST_F(CliFiles, ListShowsEveryKindAndLeavesOutBrokenFiles) {
  std::string app = Make("FirmwareApp"), kernel = Make("FirmwareKernel"), uni = Make("UniFirmwareApp");
  ASSERT_TRUE(WriteModuleFile(app + "/a_app.fm", AppSpec("APP 1.0")));
  ASSERT_TRUE(WriteModuleFile(app + "/b_bootloader.fm", AppSpec("BL 2.0")));
  ASSERT_TRUE(WriteModuleFile(app + "/Bootloader_c.fm", AppSpec("not a bootloader by name")));
  ModuleSpec shortHeader = AppSpec("x");
  shortHeader.truncateTo = 63;
  ASSERT_TRUE(WriteModuleFile(app + "/d_short.fm", shortHeader));
  ModuleSpec badType = AppSpec("x");
  badType.securityType = "secure";
  ASSERT_TRUE(WriteModuleFile(app + "/e_type.fm", badType));
  ModuleSpec badSize = AppSpec("x");
  badSize.lengthAdjust = 1;
  ASSERT_TRUE(WriteModuleFile(app + "/f_size.fm", badSize));
  ASSERT_TRUE(WriteModuleFile(app + "/g_app.txt", AppSpec("wrong extension")));
  ASSERT_TRUE(WriteRawModuleFile(kernel + "/app_nfcrd_l2_amex.fm", 100));
  ASSERT_TRUE(WriteRawModuleFile(kernel + "/kernel_app_x.fm", 100));
  ASSERT_TRUE(WriteRawModuleFile(kernel + "/App_x.fm", 100));
  ASSERT_TRUE(WriteRawModuleFile(uni + "/u.fm", 100));

  auto r = RunCli({"list", "--json", "--folder", dir_.path()}, home_.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);  // nothing but the document on standard output
  std::vector<std::string> names, kinds;
  std::vector<int> rows;
  for (const auto& m : doc["modules"]) {
    names.push_back(m["name"]);
    kinds.push_back(m["kind"]);
    rows.push_back(m["row"]);
  }
  EXPECT_THAT(names, ElementsAre("Bootloader_c.fm", "a_app.fm", "b_bootloader.fm", "app_nfcrd_l2_amex.fm", "u.fm"));
  EXPECT_THAT(kinds, ElementsAre("application", "application", "bootloader", "kernel", "UniApp"));
  EXPECT_THAT(rows, ElementsAre(0, 1, 2, 3, 4));
  EXPECT_EQ(doc["modules"][1]["info"], "APP 1.0");
  EXPECT_EQ(doc["modules"][3]["module"], 5);
  EXPECT_EQ(doc["modules"][4]["module"], 16);
  EXPECT_EQ(doc["modules"][0]["module"], nullptr);
  EXPECT_EQ(doc["folders"]["kernel"], kernel);

  auto text = RunCli({"list", "--folder", dir_.path()}, home_.path());
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, HasSubstr("b_bootloader.fm"));
  EXPECT_THAT(text.out, HasSubstr("kernel 5"));
  EXPECT_THAT(text.out, Not(HasSubstr("_short")));
  EXPECT_THAT(text.out, Not(HasSubstr("e_type")));
  EXPECT_THAT(text.out, Not(HasSubstr("f_size")));
}

TEST_F(CliFiles, ListOfMissingFoldersSaysSoOnStandardError) {
  auto r = RunCli({"list", "--json", "--folder", dir_.path()}, home_.path());
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_TRUE(nlohmann::json::parse(r.out)["modules"].empty());
  EXPECT_THAT(r.err, HasSubstr("search file failed!"));
  EXPECT_THAT(r.err, HasSubstr("Search file failed!"));
}

TEST_F(CliFiles, InspectShowsTheHeaderAndEverySection) {
  // 8 preamble bytes (two empty tagged values), two 16-byte blocks at 0x00010000, a 2-byte trailer.
  ModuleSpec spec;
  spec.firstTag = 0;
  spec.secondTag = 0;
  spec.preambleLength = 8;
  spec.blockSize = 16;
  spec.blockCount = 2;
  spec.baseAddress = 0x00010000;
  spec.trailer = {0xAA, 0x55};
  std::string path = dir_.File("worked.fm");
  ASSERT_TRUE(WriteModuleFile(path, spec));

  auto r = RunCli({"inspect", path, "--json"}, home_.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["result"], 0);
  std::vector<std::array<int64_t, 3>> sections;
  for (const auto& s : doc["sections"]) sections.push_back({s["index"], s["address"], s["length"]});
  EXPECT_THAT(sections, ElementsAre(std::array<int64_t, 3>{0, 0, 4}, std::array<int64_t, 3>{1, 1, 4},
                                    std::array<int64_t, 3>{2, 0x10000, 16}, std::array<int64_t, 3>{3, 0x10010, 16},
                                    std::array<int64_t, 3>{4, 0xFFFFFFFF, 2}));

  auto text = RunCli({"inspect", path}, home_.path());
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, HasSubstr("Result:          0 (accepted)"));
  EXPECT_THAT(text.out, HasSubstr("Sections: 5"));
  EXPECT_THAT(text.out, HasSubstr("  3      0x00010010  16"));
  EXPECT_THAT(text.out, HasSubstr("  4      0xFFFFFFFF  2"));
}

TEST_F(CliFiles, InspectReportsRejectedAndUnreadableFiles) {
  ModuleSpec shortHeader = AppSpec("x");
  shortHeader.truncateTo = 63;
  ASSERT_TRUE(WriteModuleFile(dir_.File("short.fm"), shortHeader));
  ModuleSpec nonPciNoBlocks = AppSpec("x");
  nonPciNoBlocks.securityType = "nonpci";
  nonPciNoBlocks.blockCountField = 0;
  ASSERT_TRUE(WriteModuleFile(dir_.File("zero.fm"), nonPciNoBlocks));
  fs::create_directories(dir_.File("folder.fm"));

  struct Case {
    std::string file;
    int exitCode;
    std::string outText;  // in standard output (rejected) or standard error (unreadable)
  };
  const Case cases[] = {
      {"short.fm", 1, "Result:          1 (Error: no 64 bytes.)"},
      {"zero.fm", 1, "Result:          3 (Error: block data not size error.)"},
      {"missing.fm", 2, "cannot read '" + dir_.File("missing.fm") + "': No such file or directory"},
      {"folder.fm", 2, "it is a folder"},
  };
  for (const auto& c : cases) {
    auto r = RunCli({"inspect", dir_.File(c.file)}, home_.path());
    EXPECT_EQ(r.exitCode, c.exitCode) << c.file;
    EXPECT_THAT(c.exitCode == 2 ? r.err : r.out, HasSubstr(c.outText)) << c.file;
  }
  auto zero = nlohmann::json::parse(RunCli({"inspect", "--json", dir_.File("zero.fm")}, home_.path()).out);
  EXPECT_EQ(zero["resultName"], "SizeError");
  EXPECT_EQ(zero["header"]["pci"], false);
  EXPECT_TRUE(zero["sections"].empty());
}

// Modules that pass every check of the list but can never be loaded as the
// operator expects are named in words; a file too long to send is not read.
TEST_F(CliFiles, ModulesThatCanNeverBeSentAreNamedInWords) {
  std::string app = Make("FirmwareApp"), kernel = Make("FirmwareKernel");
  ModuleSpec longBlocks = AppSpec("long");
  longBlocks.blockSize = 1041;
  ASSERT_TRUE(WriteModuleFile(app + "/a_long.fm", longBlocks));
  ModuleSpec manyBlocks = AppSpec("many");
  manyBlocks.blockCount = 2046;
  ASSERT_TRUE(WriteModuleFile(app + "/b_many.fm", manyBlocks));
  ASSERT_TRUE(WriteModuleFile(app + "/c_fine.fm", AppSpec("fine")));
  ASSERT_TRUE(WriteRawModuleFile(kernel + "/app_other.fm", 100));
  ASSERT_TRUE(WriteRawModuleFile(kernel + "/app_ct_l2.fm", 100));
  // 3 MB of nothing: 2930 chunks.
  ASSERT_TRUE(WriteRawModuleFile(kernel + "/app_nfcrd_l2_cup.fm", 0));
  fs::resize_file(kernel + "/app_nfcrd_l2_cup.fm", 3000000);

  auto r = RunCli({"list", "--json", "--folder", dir_.path()}, home_.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto listed = nlohmann::json::parse(r.out);
  std::map<std::string, std::vector<std::string>> notes;
  for (const auto& m : listed["modules"]) notes[m["name"]] = m["notes"];
  ASSERT_EQ(notes.size(), 6u);
  EXPECT_THAT(notes["a_long.fm"],
              ElementsAre("Can never be sent: its blocks of 1041 bytes are over the 1040-byte limit."));
  EXPECT_THAT(notes["b_many.fm"],
              ElementsAre("Can never be sent: it makes 2049 commands, more than the 2048 an update can send."));
  EXPECT_THAT(notes["app_nfcrd_l2_cup.fm"],
              ElementsAre("Can never be sent: it makes 2930 commands, more than the 2048 an update can send."));
  ASSERT_EQ(notes["app_other.fm"].size(), 1u);
  EXPECT_THAT(notes["app_other.fm"][0], HasSubstr("name matches no module number: it loads as module 0"));
  EXPECT_TRUE(notes["c_fine.fm"].empty());
  EXPECT_TRUE(notes["app_ct_l2.fm"].empty());
  auto text = RunCli({"list", "--folder", dir_.path()}, home_.path());
  EXPECT_THAT(text.out, HasSubstr("  long\n  Can never be sent: its blocks of 1041 bytes"));

  // inspect: still accepted by the header checks, and said to be unsendable.
  auto inspected = RunCli({"inspect", app + "/a_long.fm"}, home_.path());
  EXPECT_EQ(inspected.exitCode, 0);
  EXPECT_THAT(inspected.out, HasSubstr("Result:          0 (accepted)"));
  EXPECT_THAT(inspected.out, HasSubstr("Can never be sent: its blocks of 1041 bytes are over the 1040-byte limit.\n"
                                       "Sections: 5\n"));
  auto raw = RunCli({"inspect", "--raw", "--json", kernel + "/app_nfcrd_l2_cup.fm"}, home_.path());
  ASSERT_EQ(raw.exitCode, 0) << raw.err;
  auto doc = nlohmann::json::parse(raw.out);
  EXPECT_EQ(doc["chunkCount"], 2930);
  EXPECT_TRUE(doc["chunks"].empty());
  EXPECT_EQ(doc["notes"].size(), 1u);
}

TEST_F(CliFiles, InspectRawCutsKernelFilesIntoChunks) {
  ASSERT_TRUE(WriteRawModuleFile(dir_.File("k.fm"), 2049));
  auto r = RunCli({"inspect", "--raw", "--json", dir_.File("k.fm")}, home_.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto chunks = nlohmann::json::parse(r.out)["chunks"];
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[2]["length"], 1);
  EXPECT_EQ(chunks[2]["address"], 2048);
  EXPECT_EQ(chunks[1]["length"], 1024);
}

TEST_F(CliFiles, UsageErrorsExitTwoWithOneLineOnStandardError) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"list", "--nope"}, {"update"}, {"inspect"}, {"info", "--interface", "bluetooth"}}) {
    auto r = RunCli(args, home_.path());
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_THAT(r.err, HasSubstr("orvane-bootload-cli: "));
  }
}

TEST_F(CliFiles, AConfigurationThatFailsToLoadExitsTwoWithTheFormatError) {
  std::string bad = dir_.Write("bad.xml", "<BOOTLOAD_SETTING><A vid_pid=\"ABCD\"/></BOOTLOAD_SETTING>");
  for (const std::string& config : {bad, dir_.File("absent.xml")}) {
    auto r = RunCli({"udev-rules", "--config", config}, home_.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_THAT(r.err, HasSubstr(kConfigurationFormatError));
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(CliFiles, TheProgramFolderComesFirstThenTheUserConfigurationFolder) {
  // A copy of the executable in a fresh folder finds its files beside itself.
  std::string programDir = Make("program");
  fs::copy_file(CliPath(), programDir + "/orvane-bootload-cli");
  std::string userDir = home_.File("orvane-bootload");
  fs::create_directories(userDir + "/FirmwareApp");
  home_.Write("orvane-bootload/BootloadConfiguration.xml", Config("1111,0001"));
  ASSERT_TRUE(WriteModuleFile(userDir + "/FirmwareApp/user.fm", AppSpec("from the user folder")));

  ProcessSpec spec;
  spec.args = {programDir + "/orvane-bootload-cli", "udev-rules"};
  spec.env = {{"XDG_CONFIG_HOME", home_.path()}};
  auto fromUser = RunProcess(spec);
  ASSERT_EQ(fromUser.exitCode, 0) << fromUser.err;
  EXPECT_THAT(fromUser.out, HasSubstr("\"1111\""));

  spec.args = {programDir + "/orvane-bootload-cli", "list"};
  EXPECT_THAT(RunProcess(spec).out, HasSubstr("user.fm"));

  dir_.Write("program/BootloadConfiguration.xml", Config("2222,0002"));
  fs::create_directories(programDir + "/FirmwareApp");
  ASSERT_TRUE(WriteModuleFile(programDir + "/FirmwareApp/beside.fm", AppSpec("beside the program")));
  spec.args = {programDir + "/orvane-bootload-cli", "udev-rules"};
  auto beside = RunProcess(spec);
  EXPECT_THAT(beside.out, HasSubstr("\"2222\""));
  EXPECT_THAT(beside.out, Not(HasSubstr("\"1111\"")));
  spec.args = {programDir + "/orvane-bootload-cli", "list"};
  auto list = RunProcess(spec).out;
  EXPECT_THAT(list, HasSubstr("beside.fm"));
  EXPECT_THAT(list, Not(HasSubstr("user.fm")));
}

TEST_F(CliFiles, PortsListsTheNamedSerialDevicesAndTheConfiguredHidInterfaces) {
  std::string config = dir_.Write("c.xml", Config("1209,3810"));
  auto r = RunCli({"ports", "--json", "--config", config, "--port", "/dev/pts/77", "--port", "/dev/ttyUSB9"},
                  home_.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  ASSERT_EQ(doc["serial"].size(), 2u);
  EXPECT_EQ(doc["serial"][0]["device"], "/dev/pts/77");
  EXPECT_EQ(doc["serial"][1]["device"], "/dev/ttyUSB9");
  EXPECT_TRUE(doc["hid"].is_array());  // this machine has no reader attached
  auto text = RunCli({"ports", "--config", config, "--port", "/dev/pts/77"}, home_.path());
  EXPECT_THAT(text.out, HasSubstr("/dev/pts/77"));
  EXPECT_THAT(text.out, HasSubstr("USB HID interfaces of the configured identities:"));
}

TEST_F(CliFiles, TheShippedUdevRulesAreThoseOfTheSampleConfiguration) {
  auto r = RunCli({"udev-rules", "--config", SourcePath("res/config/BootloadConfiguration.xml")}, home_.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, TempDir::Read(SourcePath("res/udev/70-orvane-bootload.rules")));
}

}  // namespace
}  // namespace orvane::test
