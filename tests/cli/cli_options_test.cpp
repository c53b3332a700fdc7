// The pure parts of the command line: option parsing, JSON text, udev rules.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_options.h"
#include "cli/json_writer.h"
#include "cli/progress_meter.h"
#include "cli/udev_rules.h"

namespace orvane::cli {
namespace {

using ::testing::HasSubstr;

ParsedCommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CliOptions, OptionsStandBeforeOrAfterTheCommandInEitherForm) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--interface", "tls", "--port", "/dev/pts/3", "update", "a.fm", "--yes", "--timeout=2.5", "--port=/dev/x"},
           {"update", "--yes", "a.fm", "--interface=tls", "--port=/dev/pts/3", "--timeout", "2.5", "--port", "/dev/x"},
       }) {
    auto p = Parse(args);
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.command, Command::Update);
    EXPECT_EQ(p.options.arguments, std::vector<std::string>{"a.fm"});
    EXPECT_EQ(p.options.interface, InterfaceTlsServer);
    EXPECT_EQ(p.options.ports, (std::vector<std::string>{"/dev/pts/3", "/dev/x"}));
    EXPECT_TRUE(p.options.yes);
    ASSERT_TRUE(p.options.timeoutSeconds);
    EXPECT_DOUBLE_EQ(*p.options.timeoutSeconds, 2.5);
  }
}

TEST(CliOptions, DoubleDashEndsOptionsSoANameMayStartWithDashes) {
  auto p = Parse({"update", "--", "--odd.fm", "x.fm"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.arguments, (std::vector<std::string>{"--odd.fm", "x.fm"}));
}

TEST(CliOptions, UsageErrorsAreOneLineReasons) {
  struct Case {
    std::vector<std::string> args;
    const char* reason;
  };
  const Case cases[] = {
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
      {{"update", "--all", "--yes", "--reader", "tls:0"}, "tls needs a port"},
      {{"update", "--all", "--yes", "--reader", "hid:"}, "hid needs a LOCATION"},
      {{"update", "--all", "--reader", "tls:5"}, "--reader needs --yes"},
      {{"update", "--all", "--yes", "--readers", "some"}, "--readers takes only 'all'"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--readers", "all"}, "either --reader or --readers all"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--interface", "tcp"}, "--interface cannot be combined"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--port", "/dev/x"}, "--port cannot be combined"},
      {{"update", "--all", "--yes", "--reader", "serial:/dev/a:b", "--reader", "serial:/dev/a_b"}, "named twice"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--one-reader", "tls:6"}, "--one-reader cannot be combined"},
      {{"update", "--all", "--yes", "--parallel", "2"}, "--parallel applies to a run with --reader"},
      {{"update", "--all", "--yes", "--reader", "tls:5", "--parallel", "0"}, "--parallel needs a number from 1"},
      {{"info", "--reader", "tls:5"}, "--reader applies to 'update' only"},
  };
  for (const auto& c : cases) {
    auto p = Parse(c.args);
    EXPECT_THAT(p.error, HasSubstr(c.reason)) << ::testing::PrintToString(c.args);
    EXPECT_EQ(p.error.find('\n'), std::string::npos);
  }
}

TEST(JsonWriter, AnyBytesBecomeValidJsonThatReadsBack) {
  struct Case {
    std::string bytes;
    std::string decoded;  // as UTF-8
  };
  const Case cases[] = {
      {"quote \" backslash \\ tab \t cr \r lf \n", "quote \" backslash \\ tab \t cr \r lf \n"},
      {std::string("nul\0bell\x07esc\x1b", 12), std::string("nul\0bell\x07esc\x1b", 12)},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},  // valid UTF-8 kept
      {"lone \xE9 byte", "lone \xC3\xA9 byte"},                                                    // Latin-1
      {"cut \xE2\x82", "cut \xC3\xA2\xC2\x82"},                                                    // cut sequence
      {"overlong \xC0\xAF", "overlong \xC3\x80\xC2\xAF"},
      {"surrogate \xED\xA0\x80", "surrogate \xC3\xAD\xC2\xA0\xC2\x80"},
  };
  for (const auto& c : cases) {
    std::string text = JsonQuote(c.bytes);
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(text)) << text;
    EXPECT_EQ(parsed.get<std::string>(), c.decoded) << text;
  }
}

TEST(UdevRules, OneHidrawRulePerDistinctIdentityAndTheSerialAdapters) {
  std::vector<VidPidEntry> ids = {{0xABCD, 0x1234, 1}, {0x0001, 0x00FF, 0}, {0xABCD, 0x1234, 0}};
  std::string rules = UdevRulesText(ids);
  EXPECT_THAT(rules, HasSubstr("ATTRS{idVendor}==\"abcd\", ATTRS{idProduct}==\"1234\", TAG+=\"uaccess\""));
  EXPECT_THAT(rules, HasSubstr("ATTRS{idVendor}==\"0001\", ATTRS{idProduct}==\"00ff\", TAG+=\"uaccess\""));
  size_t count = 0;
  for (size_t at = 0; (at = rules.find("SUBSYSTEM==\"hidraw\"", at)) != std::string::npos; ++at) ++count;
  EXPECT_EQ(count, 2u);
  EXPECT_THAT(rules, HasSubstr("KERNEL==\"ttyUSB[0-9]*\", SUBSYSTEM==\"tty\", TAG+=\"uaccess\""));
  EXPECT_THAT(rules, HasSubstr("KERNEL==\"ttyACM[0-9]*\", SUBSYSTEM==\"tty\", TAG+=\"uaccess\""));
}

}  // namespace
}  // namespace orvane::cli

namespace orvane::cli {
namespace {

TEST(ProgressMeter, BlocksRatesAndTimeLeftFromThePercentage) {
  ProgressMeter meter;
  meter.Start("app.fm", 27, 27000, 1000);
  EXPECT_EQ(meter.blocksDone(), 0);
  EXPECT_FALSE(meter.SecondsLeft());
  // 1 of 27 blocks is 3 percent (rounded down); the blocks shown never exceed what was sent.
  struct Step {
    int percent;
    uint64_t atMs;
    int blocks;
    uint64_t secondsLeft;
  };
  for (const Step& s : {Step{3, 1500, 1, 16}, Step{51, 3000, 14, 1}, Step{100, 5000, 27, 0}}) {
    EXPECT_TRUE(meter.Update(s.percent, s.atMs));
    EXPECT_EQ(meter.blocksDone(), s.blocks) << s.percent;
    EXPECT_EQ(meter.SecondsLeft(), s.secondsLeft) << s.percent;
  }
  EXPECT_FALSE(meter.Update(100, 6000));  // no change, nothing to redraw
  EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 27000.0 / 5.0);
  EXPECT_EQ(meter.PlainLine(), "app.fm: 100% (27/27 blocks)");
}

TEST(ProgressMeter, TheBarKeepsItsLengthAndFitsTheTerminal) {
  ProgressMeter meter;
  meter.Start("a_rather_long_module_file_name_for_the_bar.fm", 2048, 2048 * 1024, 0);
  size_t length = 0;
  for (int percent : {1, 9, 10, 55, 99, 100}) {
    meter.Update(percent, static_cast<uint64_t>(percent) * 100);
    std::string bar = meter.BarLine(100);
    EXPECT_LT(bar.size(), 100u);
    if (length == 0) length = bar.size();
    EXPECT_EQ(bar.size(), length) << bar;
  }
  EXPECT_THAT(meter.BarLine(100), HasSubstr("] 100%  2048/2048 blocks"));
  EXPECT_LT(meter.BarLine(30).size(), 30u);
  // An hour or more left and megabytes a second fit the same fields.
  for (auto [percent, atMs, shown] : {std::tuple{1, 40000, "1:06:00 left"}, {99, 1000, "2.08 MB/s"}}) {
    meter.Start("a_rather_long_module_file_name_for_the_bar.fm", 2048, 2048 * 1024, 0);
    meter.Update(percent, atMs);
    EXPECT_THAT(meter.BarLine(100), HasSubstr(shown));
    EXPECT_EQ(meter.BarLine(100).size(), length);
  }
}

}  // namespace
}  // namespace orvane::cli
