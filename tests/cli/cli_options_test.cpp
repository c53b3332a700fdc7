// The pure parts of the command line: option parsing, JSON text, udev rules,
// progress, and what the many-reader run makes of its children's events.

#include "cli/cli_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/json_writer.h"
#include "cli/program_files.h"
#include "cli/progress_meter.h"
#include "cli/reader_board.h"
#include "cli/udev_rules.h"
#include "support/temp_dir.h"

namespace orvane::cli {
namespace {

using ::testing::HasSubstr;

TEST(CliOptions, OptionsStandBeforeOrAfterTheCommandInEitherForm) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--interface", "tls", "--port", "/dev/pts/3", "update", "a.fm", "--yes", "--timeout=2.5", "--port=/dev/x",
            "--kernel-folder", "k", "--uniapp-folder=u", "--q450"},
           {"update", "--yes", "a.fm", "--interface=tls", "--port=/dev/pts/3", "--timeout", "2.5", "--port", "/dev/x",
            "--q450", "--kernel-folder=k", "--uniapp-folder", "u"},
       }) {
    auto p = ParseCommandLine(args);
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.command, Command::Update);
    EXPECT_EQ(p.options.arguments, std::vector<std::string>{"a.fm"});
    EXPECT_EQ(p.options.interface, InterfaceTlsServer);
    EXPECT_EQ(p.options.ports, (std::vector<std::string>{"/dev/pts/3", "/dev/x"}));
    EXPECT_TRUE(p.options.yes && p.options.q450);
    EXPECT_EQ(p.options.timeoutSeconds, 2.5);
    EXPECT_EQ(p.options.kernelFolder + p.options.uniAppFolder, "ku");
  }
  EXPECT_EQ(ParseCommandLine({"list", "extra", "-h"}).error, "");  // help, whatever else is wrong
}

TEST(CliOptions, UsageErrorsAreOneLineReasons) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "no command given"},
      {{"flash"}, "unknown command 'flash'"},
      {{"list", "--verbose"}, "unknown option '--verbose'"},
      {{"list", "-v"}, "unknown option '-v'"},
      {{"list", "extra"}, "'list' takes no arguments"},
      {{"inspect"}, "'inspect' needs exactly one FILE"},
      {{"inspect", "a", "b"}, "'inspect' needs exactly one FILE"},
      {{"update"}, "'update' needs --all or at least one module NAME"},
      {{"update", "--all", "a.fm"}, "either --all or module names"},
      {{"info", "--interface", "usb"}, "--interface must be local, tcp or tls"},
      {{"info", "--interface"}, "--interface needs a value"},
      {{"info", "--timeout", "soon"}, "--timeout needs a number of seconds"},
      {{"info", "--timeout", "-1"}, "--timeout needs a number of seconds"},
      {{"info", "--timeout", "inf"}, "--timeout needs a number of seconds"},
      {{"info", "--yes=1"}, "--yes takes no value"},
      {{"info", "--config="}, "--config needs a non-empty value"},
      {{"list", "--raw"}, "--raw applies to 'inspect' only"},
      {{"list", "--all"}, "--all applies to 'update' only"},
      {{"make-demo", "d", "--demo-port", "70000"}, "--demo-port needs a port number"},
      {{"update", "--all", "--yes", "--reader", "usb:1"}, "must be tcp:HOST:PORT, tls:PORT, serial:DEVICE or hid:"},
      {{"update", "--all", "--yes", "--reader", "tcp:host"}, "tcp needs HOST:PORT"},
      {{"update", "--all", "--yes", "--reader", "tcp::80"}, "tcp needs HOST:PORT"},
      {{"update", "--all", "--yes", "--reader", "tcp:h:123456"}, "tcp needs HOST:PORT"},
      {{"update", "--all", "--yes", "--reader", "tcp:h:65536"}, "tcp needs HOST:PORT"},
      {{"update", "--all", "--yes", "--reader", "tcp:h:8a"}, "tcp needs HOST:PORT"},
      {{"update", "--all", "--yes", "--reader", "tcp"}, "tcp needs HOST:PORT"},
      {{"update", "--all", "--yes", "--reader", "tls:0"}, "tls needs a port"},
      {{"update", "--all", "--yes", "--reader", "hid:"}, "hid needs a LOCATION"},
      {{"update", "--all", "--yes", "--reader", "serial:"}, "serial needs a DEVICE"},
      {{"update", "--all", "--reader", "tls:5"}, "--reader needs --yes"},
      {{"update", "--all", "--yes", "--readers", "some"}, "--readers takes only 'all'"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--readers", "all"}, "either --reader or --readers all"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--interface", "local"}, "--interface cannot be combined"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--port", "/dev/x"}, "--port cannot be combined"},
      {{"update", "--all", "--yes", "--reader", "serial:/dev/a:b", "--reader", "serial:/dev/a_b"}, "named twice"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--one-reader", "tls:6"}, "--one-reader cannot be combined"},
      {{"update", "--all", "--yes", "--parallel", "2"}, "--parallel applies to a run with --reader"},
      {{"update", "--all", "--one-reader", "tls:5", "--parallel", "2"}, "--parallel applies to a run with --reader"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--parallel", "0"}, "--parallel needs a number from 1"},
      {{"info", "--reader", "tls:5"}, "--reader applies to 'update' only"},
      {{"info", "--readers", "all"}, "--readers applies to 'update' only"},
      {{"info", "--one-reader", "tls:5"}, "--one-reader applies to 'update' only"},
      {{"update", "--all", "--one-reader", "tls:5", "--interface", "tcp"}, "--interface cannot be combined with --one"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--parallel", "5x"}, "--parallel needs a number from 1"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--parallel", "1025"}, "--parallel needs a number from 1"},
      {{"info", "--port="}, "--port needs a device path"},
      {{"info", "--timeout", "1e9"}, "--timeout needs a number of seconds"},
      {{"list", "--demo-port", "80"}, "--demo-port applies to 'make-demo' only"},
      {{"make-demo"}, "'make-demo' needs exactly one DIR"},
  };
  for (const auto& [args, reason] : cases) {
    auto p = ParseCommandLine(args);
    EXPECT_THAT(p.error, HasSubstr(reason)) << ::testing::PrintToString(args);
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}

// Bytes that are no UTF-8 are taken for Latin-1.
TEST(JsonWriter, AnyBytesBecomeValidJsonThatReadsBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"quote \" backslash \\ tab \t cr \r lf \n", "quote \" backslash \\ tab \t cr \r lf \n"},
      {std::string("nul\0bell\x07esc\x1b", 12), std::string("nul\0bell\x07esc\x1b", 12)},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},  // valid UTF-8 kept
      {"lone \xE9 byte", "lone \xC3\xA9 byte"},                                                    // Latin-1
      {"cut \xE2\x82", "cut \xC3\xA2\xC2\x82"},                                                    // cut sequence
      {"overlong \xC0\xAF", "overlong \xC3\x80\xC2\xAF"},
      {"surrogate \xED\xA0\x80", "surrogate \xC3\xAD\xC2\xA0\xC2\x80"},
  };
  for (const auto& [bytes, decoded] : cases) {
    std::string text = JsonQuote(bytes);
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(text)) << text;
    EXPECT_EQ(parsed.get<std::string>(), decoded) << text;
  }
}

TEST(UdevRules, OneHidrawRulePerDistinctIdentity) {
  std::string rules = UdevRulesText({{0xABCD, 0x1234, 1}, {0x0001, 0x00FF, 0}, {0x1ABCD, 0x1234, 0}});
  EXPECT_THAT(rules, HasSubstr("ATTRS{idVendor}==\"0001\", ATTRS{idProduct}==\"00ff\", TAG+=\"uaccess\""));
  EXPECT_EQ(rules.find("\"abcd\""), rules.rfind("\"abcd\""));
}

// Files beside the program win over the user's configuration folder, each
// file and folder on its own.
TEST(ProgramFiles, BesideTheProgramFirstThenTheUserConfigurationFolder) {
  test::TempDir dir;
  const std::string program = dir.File("program"), user = dir.File("user/orvane-bootload");
  std::filesystem::create_directories(program);
  std::filesystem::create_directories(user + "/FirmwareApp");
  dir.Write("user/orvane-bootload/BootloadConfiguration.xml", "");
  ::setenv("XDG_CONFIG_HOME", dir.File("user").c_str(), 1);
  ProgramFiles files = LocateProgramFiles({}, program);
  EXPECT_EQ(files.configPath, user + "/BootloadConfiguration.xml");
  EXPECT_EQ(files.appFolder, user + "/FirmwareApp");

  std::filesystem::create_directories(program + "/FirmwareApp");
  dir.Write("program/BootloadConfiguration.xml", "");
  files = LocateProgramFiles({}, program);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(files.configPath, program + "/BootloadConfiguration.xml");
  EXPECT_EQ(files.appFolder, program + "/FirmwareApp");
}

TEST(ProgressMeter, BlocksRatesAndTimeLeftFromThePercentage) {
  ProgressMeter meter;
  meter.Start("app.fm", 27, 27000, 1000);
  EXPECT_EQ(meter.blocksDone(), 0);
  EXPECT_FALSE(meter.SecondsLeft());
  // 1 of 27 blocks is 3 percent (rounded down); the blocks shown never exceed what was sent.
  for (auto [percent, atMs, blocks, secondsLeft] :
       {std::tuple{3, 1500u, 1, 16u}, {51, 3000u, 14, 1u}, {100, 5000u, 27, 0u}}) {
    EXPECT_TRUE(meter.Update(percent, atMs));
    EXPECT_EQ(meter.blocksDone(), blocks) << percent;
    EXPECT_EQ(meter.SecondsLeft(), secondsLeft) << percent;
  }
  EXPECT_FALSE(meter.Update(100, 6000));  // no change, nothing to redraw
  EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 27000.0 / 5.0);
  EXPECT_EQ(meter.PlainLine(), "app.fm: 100% (27/27 blocks)");
}

TEST(ProgressMeter, TheBarKeepsItsLengthAndFitsTheTerminal) {
  // An hour or more left, or megabytes a second, fit the same fields.
  std::vector<std::string> bars;
  for (auto [percent, atMs, shown] :
       {std::tuple{1, 40000, "1:06:00 left"}, {99, 1000, "]  99%  2028/2048 blocks   2.08 MB/s"}}) {
    ProgressMeter meter;
    meter.Start("a_rather_long_module_file_name_for_the_bar.fm", 2048, 2048 * 1024, 0);
    meter.Update(percent, atMs);
    bars.push_back(meter.BarLine(100));
    EXPECT_THAT(bars.back(), HasSubstr(shown));
    EXPECT_LT(meter.BarLine(30).size(), 30u);
  }
  EXPECT_EQ(bars[0].size(), bars[1].size());
}

// The lines a single run would have printed, from the events of a child.
TEST(ReaderBoard, EventsBecomeTheLinesOfASingleRun) {
  const std::pair<const char*, std::string> steps[] = {
      {R"({"event":"device","text":"Application Mode, Version Info: V2.00.020 \r\nPCI"})",
       "Device: Application Mode, Version Info: V2.00.020  PCI"},
      {R"({"event":"status","text":"Firmware\u001b Updating..."})", "Firmware. Updating..."},
      {R"({"event":"progress","name":"a.fm","percent":5,"blocks":1,"total":20})", ""},
      {R"({"event":"progress","name":"a.fm","percent":25,"blocks":5,"total":20})", "a.fm: 25% (5/20 blocks)"},
      {R"({"event":"progress","name":"a.fm","percent":29,"blocks":5,"total":20})", ""},
      {R"({"event":"progress","name":"b.fm","percent":150,"blocks":"9"})", "b.fm: 100% (0/0 blocks)"},
      {R"({"event":"row","name":"b.fm","mark":"Failed"})", "b.fm: Failed"},
      {R"({"event":"message","caption":7,"text":"one\r\ntwo"})", ": one two"},
      {R"({"event":"confirm","text":"Go on?"})", "Go on?"},
      {R"({"event":7})", ""},
      {R"({"event":"summary","status":"Update Failed","log":"/x/log.txt"})", ""},
  };
  ReaderRunState r;
  for (const auto& [event, line] : steps) EXPECT_EQ(r.Apply(nlohmann::ordered_json::parse(event)), line) << event;
  EXPECT_EQ(r.device, "App V2.00.020");
  EXPECT_EQ(r.status, "Update Failed");
  EXPECT_EQ(r.LogPath(), "/x/log.txt");
  EXPECT_EQ(r.ModulesText(), "0 of 0 completed");
  for (auto [text, device] :
       {std::pair{"Bootloader Mode, Version Info: Bootloader FW 3 V1.05  ", "Bootloader FW 3 V1.05"},
        {"Bootloader Mode, Version Info: 1.2", "Boot 1.2"},
        {"Orvane Q9\x07\r\nmore", "Orvane Q9."}}) {
    r.Apply({{"event", "device"}, {"text", text}});
    EXPECT_EQ(r.device, device);
  }
}

// A child that ends without its summary did not finish, whatever it said last.
TEST(ReaderBoard, HowAChildEndedGivesItsExitStatusAndText) {
  // Wait status, whether a summary came, the status before and after, the exit status.
  for (auto [waitStatus, summary, before, after, exitCode] :
       {std::tuple{W_EXITCODE(3, 0), true, "No reader found", "No reader found", 3},
        {SIGKILL, true, "Firmware Updating...", "The reader's run ended abnormally (signal 9)", 1},
        {W_EXITCODE(2, 0), false, "", "The reader's run could not start (exit status 2)", 2},
        {W_EXITCODE(2, 0), false, "bad config", "bad config", 2},
        {W_EXITCODE(0, 0), false, "Firmware Updating...", "The reader's run ended without a result", 1}}) {
    ReaderRunState r;
    r.status = before;
    if (summary) r.summary = nlohmann::ordered_json::object();
    r.End(waitStatus, 5);
    EXPECT_EQ(r.exitCode, exitCode) << after;
    EXPECT_EQ(r.status, after);
  }
}

TEST(ReaderBoard, ExitStatusOfTheWholeRun) {
  using Codes = std::vector<int>;
  for (auto [codes, combined] : {std::pair{Codes{}, 0},
                                 {Codes{0, 0}, 0},
                                 {Codes{0, 3, 3}, 3},
                                 {Codes{3, 1, 0}, 1},
                                 {Codes{1, 3}, 1},
                                 {Codes{0, -1}, 1}}) {
    std::vector<ReaderRunState> readers(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) readers[i].exitCode = codes[i];
    EXPECT_EQ(CombinedExitStatus(readers), combined) << ::testing::PrintToString(codes);
  }
}

TEST(ReaderBoard, LiveTableLinesAndTheFinalSummary) {
  std::vector<ReaderRunState> readers(3);
  readers[0].address = readers[0].label = "tcp:host:1";
  readers[1].address = readers[1].label = "serial:/dev/a_very_long_device_name";
  readers[1].phase = ReaderRunState::Phase::Running;
  ReaderRunState& ended = readers[2];
  ended.address = "hid:1-2";
  ended.phase = ReaderRunState::Phase::Ended;
  ended.percent = 40;
  ended.status = "Update Failed";
  ended.endMs = 61600;
  ended.summary = nlohmann::ordered_json::parse(R"({"log":"/l.txt","modules":[{"selected":true,"mark":"Completed"},
      {"selected":true,"mark":"Failed"},{"selected":false,"mark":""},5]})");
  EXPECT_THAT(TableLine(readers[0], 12, 120), HasSubstr("waiting"));
  EXPECT_THAT(TableLine(readers[1], 12, 120), ::testing::ContainsRegex("^serial:/d\\.\\.\\. .* starting$"));
  EXPECT_THAT(TableLine(ended, 12, 120), HasSubstr("[####......]  40%  Update Failed"));
  for (int width : {1, 20, 80}) {
    EXPECT_LT(TableLine(ended, 12, width).size(), static_cast<size_t>(std::max(width, 1)));
    EXPECT_LT(TableHeading(2, width).size(), static_cast<size_t>(std::max(width, 1)));
  }
  EXPECT_THAT(
      SummaryTable(readers),
      ::testing::ElementsAre("Reader                               Result         Modules           Time  Log",
                             "tcp:host:1                           Not started    -                 -     -",
                             "serial:/dev/a_very_long_device_name                 -                 0:00  -",
                             "hid:1-2                              Update Failed  1 of 2 completed  1:02  /l.txt"));
}

}  // namespace
}  // namespace orvane::cli
