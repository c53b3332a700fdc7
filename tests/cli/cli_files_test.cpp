// The command line on module folders and files, as a process: list, inspect,
// ports, udev-rules, the search order of its files and its exit statuses.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "app/bootload_settings.h"
#include "cli_test_support.h"
#include "firmware/module_writer.h"

namespace orvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

std::string Config(const std::string& vidPid) {
  return "<BOOTLOAD_SETTING><USB vid_pid=\"" + vidPid + "\"/><S baudrateList=\"9600\"/></BOOTLOAD_SETTING>\n";
}

// A small application module (two blocks of 16 bytes), as `change` makes it.
void Put(const std::string& path, const std::function<void(ModuleSpec&)>& change = {}) {
  ModuleSpec spec;
  spec.infoText = "x";
  spec.blockSize = 16;
  spec.blockCount = 2;
  if (change) change(spec);
  fs::create_directories(fs::path(path).parent_path());
  EXPECT_TRUE(WriteModuleFile(path, spec)) << path;
}

void PutRaw(const std::string& path, size_t length) {
  fs::create_directories(fs::path(path).parent_path());
  EXPECT_TRUE(WriteRawModuleFile(path, 0));
  fs::resize_file(path, length);
}

using CliFiles = CliTest;

TEST_F(CliFiles, ListShowsEveryKindNamesUnsendableModulesAndLeavesOutBrokenFiles) {
  const std::string app = dir_.File("FirmwareApp/"), kernel = dir_.File("FirmwareKernel/");
  Put(app + "a_app.fm", [](ModuleSpec& s) { s.infoText = "APP 1.0"; });
  Put(app + "b_bootloader.fm");
  Put(app + "Bootloader_c.fm");  // not a bootloader by its name
  Put(app + "a_long.fm", [](ModuleSpec& s) { s.blockSize = 1041; });
  Put(app + "b_many.fm", [](ModuleSpec& s) { s.blockCount = 2046; });
  Put(app + "d_short.fm", [](ModuleSpec& s) { s.truncateTo = 63; });
  Put(app + "e_type.fm", [](ModuleSpec& s) { s.securityType = "secure"; });
  Put(app + "f_size.fm", [](ModuleSpec& s) { s.lengthAdjust = 1; });
  Put(app + "g_app.txt");
  for (const char* name : {"app_nfcrd_l2_amex.fm", "kernel_app_x.fm", "App_x.fm", "app_other.fm"}) {
    PutRaw(kernel + name, 100);
  }
  PutRaw(kernel + "app_nfcrd_l2_cup.fm", 3000000);  // 2930 chunks
  PutRaw(dir_.File("UniFirmwareApp/u.fm"), 100);

  auto r = Cli({"list", "--json", "--folder", dir_.path()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);  // nothing but the document on standard output
  struct Row {
    std::string name, kind, note;
  };
  const Row rows[] = {
      {"Bootloader_c.fm", "application", ""},
      {"a_app.fm", "application", ""},
      {"a_long.fm", "application", "Can never be sent: its blocks of 1041 bytes are over the 1040-byte limit."},
      {"b_bootloader.fm", "bootloader", ""},
      {"b_many.fm", "application", "Can never be sent: it makes 2049 commands, more than the 2048 an update can send."},
      {"app_nfcrd_l2_amex.fm", "kernel", ""},
      {"app_nfcrd_l2_cup.fm", "kernel", "Can never be sent: it makes 2930 commands, more than the 2048 an update can send."},
      {"app_other.fm", "kernel", "name matches no module number: it loads as module 0"},
      {"u.fm", "UniApp", ""},
  };
  ASSERT_EQ(doc["modules"].size(), std::size(rows)) << r.out;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto& m = doc["modules"][i];
    EXPECT_EQ(m["name"], rows[i].name);
    EXPECT_EQ(m["kind"], rows[i].kind) << rows[i].name;
    EXPECT_EQ(m["row"], i);
    if (rows[i].note.empty()) EXPECT_TRUE(m["notes"].empty()) << rows[i].name;
    else EXPECT_THAT(m["notes"], ElementsAre(HasSubstr(rows[i].note)));
  }
  EXPECT_EQ(doc["modules"][1]["info"], "APP 1.0");
  EXPECT_EQ(doc["modules"][5]["module"], 5);
  EXPECT_EQ(doc["modules"][8]["module"], 16);
  EXPECT_EQ(doc["modules"][0]["module"], nullptr);
  EXPECT_EQ(doc["folders"]["kernel"], dir_.File("FirmwareKernel"));

  auto text = Cli({"list", "--folder", dir_.path()});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, HasSubstr("kernel 5"));
  EXPECT_THAT(text.out, HasSubstr("  x\n  Can never be sent: its blocks of 1041 bytes"));
  EXPECT_THAT(text.out, Not(HasSubstr("_short")));
  EXPECT_THAT(text.out, Not(HasSubstr("f_size")));
}

TEST_F(CliFiles, InspectShowsTheHeaderEverySectionAndRawChunks) {
  // 8 preamble bytes (two empty tagged values), two 16-byte blocks at 0x00010000, a 2-byte trailer.
  const std::string path = dir_.File("worked.fm");
  Put(path, [](ModuleSpec& s) {
    s.firstTag = s.secondTag = 0;
    s.infoText.clear();
    s.preambleLength = 8;
    s.trailer = {0xAA, 0x55};
  });
  auto doc = nlohmann::json::parse(Cli({"inspect", path, "--json"}).out);
  EXPECT_EQ(doc["result"], 0);
  std::vector<std::array<int64_t, 3>> sections;
  for (const auto& s : doc["sections"]) sections.push_back({s["index"], s["address"], s["length"]});
  EXPECT_THAT(sections, ElementsAre(std::array<int64_t, 3>{0, 0, 4}, std::array<int64_t, 3>{1, 1, 4},
                                    std::array<int64_t, 3>{2, 0x10000, 16}, std::array<int64_t, 3>{3, 0x10010, 16},
                                    std::array<int64_t, 3>{4, 0xFFFFFFFF, 2}));
  auto text = Cli({"inspect", path});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, HasSubstr("Result:          0 (accepted)"));
  EXPECT_THAT(text.out, HasSubstr("  3      0x00010010  16\n  4      0xFFFFFFFF  2"));

  // Accepted by the header checks, and said to be unsendable.
  Put(dir_.File("long.fm"), [](ModuleSpec& s) { s.blockSize = 1041; });
  const std::string unsendable = Cli({"inspect", dir_.File("long.fm")}).out;
  EXPECT_THAT(unsendable, HasSubstr("Result:          0 (accepted)"));
  EXPECT_THAT(unsendable, HasSubstr("Can never be sent: its blocks of 1041 bytes are over the 1040-byte limit.\n"
                                    "Sections: 5\n"));

  PutRaw(dir_.File("k.fm"), 2049);
  auto chunks = nlohmann::json::parse(Cli({"inspect", "--raw", "--json", dir_.File("k.fm")}).out)["chunks"];
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[1]["length"], 1024);
  EXPECT_EQ(chunks[2]["length"], 1);
  EXPECT_EQ(chunks[2]["address"], 2048);
  PutRaw(dir_.File("app_nfcrd_l2_cup.fm"), 3000000);  // too long to send: not read
  auto huge = nlohmann::json::parse(Cli({"inspect", "--raw", "--json", dir_.File("app_nfcrd_l2_cup.fm")}).out);
  EXPECT_EQ(huge["chunkCount"], 2930);
  EXPECT_TRUE(huge["chunks"].empty());
  EXPECT_EQ(huge["notes"].size(), 1u);
}

// What a command says when it cannot do its work: usage errors, a
// configuration that fails to load and unreadable files exit 2 and say why
// on standard error (the command line's own errors in one line); a rejected
// module exits 1 with its result.
TEST_F(CliFiles, ExitStatusesAndWhatTheySay) {
  Put(dir_.File("short.fm"), [](ModuleSpec& s) { s.truncateTo = 63; });
  Put(dir_.File("zero.fm"), [](ModuleSpec& s) {
    s.securityType = "nonpci";
    s.blockCountField = 0;
  });
  fs::create_directories(dir_.File("folder.fm"));
  const std::string bad = dir_.Write("bad.xml", "<BOOTLOAD_SETTING><A vid_pid=\"ABCD\"/></BOOTLOAD_SETTING>");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string said;  // on standard output with exit 0 or 1, else on standard error
  };
  const Case cases[] = {
      {{}, 2, "orvane-bootload-cli: no command given"},
      {{"frobnicate"}, 2, "orvane-bootload-cli: unknown command 'frobnicate'"},
      {{"info", "--interface", "bluetooth"}, 2, "orvane-bootload-cli: --interface must be local, tcp or tls"},
      {{"udev-rules", "--config", bad}, 2, kConfigurationFormatError},
      {{"udev-rules", "--config", dir_.File("absent.xml")}, 2, kConfigurationFormatError},
      {{"inspect", dir_.File("missing.fm")}, 2, "orvane-bootload-cli: cannot read '" + dir_.File("missing.fm") + "': No such file or directory"},
      {{"inspect", dir_.File("folder.fm")}, 2, "it is a folder"},
      {{"inspect", dir_.File("short.fm")}, 1, "Result:          1 (Error: no 64 bytes.)"},
      {{"inspect", dir_.File("zero.fm")}, 1, "Result:          3 (Error: block data not size error.)"},
  };
  for (const auto& c : cases) {
    auto r = Cli(c.args);
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(r.exitCode, c.exitCode);
    if (c.exitCode != 2) {
      EXPECT_THAT(r.out, HasSubstr(c.said));
      continue;
    }
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr(c.said));
    if (c.said.starts_with("orvane-bootload-cli: ")) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
  }
  auto zero = nlohmann::json::parse(Cli({"inspect", "--json", dir_.File("zero.fm")}).out);
  EXPECT_EQ(zero["resultName"], "SizeError");
  EXPECT_EQ(zero["header"]["pci"], false);

  auto empty = Cli({"list", "--json", "--folder", dir_.path()});
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_TRUE(nlohmann::json::parse(empty.out)["modules"].empty());
  EXPECT_THAT(empty.err, HasSubstr("search file failed!"));
  EXPECT_THAT(empty.err, HasSubstr("Search file failed!"));
}

TEST_F(CliFiles, TheProgramFolderComesFirstThenTheUserConfigurationFolder) {
  // A copy of the executable in a fresh folder finds its files beside itself.
  const std::string program = dir_.File("program/orvane-bootload-cli");
  fs::create_directories(dir_.File("program"));
  fs::copy_file(CliPath(), program);
  auto run = [&](const char* command) {
    ProcessSpec spec = CliSpec({command});
    spec.args[0] = program;
    return RunProcess(spec).out;
  };
  Put(home_.File("orvane-bootload/FirmwareApp/user.fm"));
  home_.Write("orvane-bootload/BootloadConfiguration.xml", Config("1111,0001"));
  EXPECT_THAT(run("udev-rules"), HasSubstr("\"1111\""));
  EXPECT_THAT(run("list"), HasSubstr("user.fm"));

  dir_.Write("program/BootloadConfiguration.xml", Config("2222,0002"));
  Put(dir_.File("program/FirmwareApp/beside.fm"));
  const std::string rules = run("udev-rules"), list = run("list");
  EXPECT_THAT(rules, HasSubstr("\"2222\""));
  EXPECT_THAT(rules, Not(HasSubstr("\"1111\"")));
  EXPECT_THAT(list, HasSubstr("beside.fm"));
  EXPECT_THAT(list, Not(HasSubstr("user.fm")));
}

TEST_F(CliFiles, PortsListsTheNamedSerialDevicesAndTheConfiguredHidInterfaces) {
  const std::string config = dir_.Write("c.xml", Config("1209,3810"));
  auto r = Cli({"ports", "--json", "--config", config, "--port", "/dev/pts/77", "--port", "/dev/ttyUSB9"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  ASSERT_EQ(doc["serial"].size(), 2u);
  EXPECT_EQ(doc["serial"][1]["device"], "/dev/ttyUSB9");
  EXPECT_TRUE(doc["hid"].is_array());  // this machine has no reader attached
  auto text = Cli({"ports", "--config", config, "--port", "/dev/pts/77"});
  EXPECT_THAT(text.out, HasSubstr("/dev/pts/77"));
  EXPECT_THAT(text.out, HasSubstr("USB HID interfaces of the configured identities:"));
}

TEST_F(CliFiles, TheShippedUdevRulesAreThoseOfTheSampleConfiguration) {
  auto r = Cli({"udev-rules", "--config", SourcePath("res/config/BootloadConfiguration.xml")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, TempDir::Read(SourcePath("res/udev/70-orvane-bootload.rules")));
}

}  // namespace
}  // namespace orvane::test
