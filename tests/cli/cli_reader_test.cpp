// The command line against the simulated reader, both as processes: whole
// updates over TCP, TLS and a pseudo-terminal, the JSON event stream, the
// final status line, info, the time-out, Ctrl+C, the confirmation, and runs
// on several readers at once.

#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <nlohmann/json.hpp>

#include "app/clock.h"
#include "cli/reader_address.h"
#include "cli/reader_discovery.h"
#include "cli_test_support.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/simulated_reader.h"
#include "support/links.h"
#include "transport/fake_hid_backend.h"
#include "transport/serial_port.h"

namespace orvane::test {
namespace {

using ::testing::Contains;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using namespace std::chrono_literals;

std::string ValueAfter(const std::string& line, const std::string& key) {
  size_t at = line.find(key);
  if (at == std::string::npos) return {};
  return line.substr(at + key.size(), line.find(' ', at) - at - key.size());
}

std::string Configuration(int tcpPort, int tlsPort) {
  return "<BOOTLOAD_SETTING>\n  <SERIAL baudrateList=\"38400\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
         "  <SWITCHES enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n  <NETWORK TLS_Server_Port=\"" +
         std::to_string(tlsPort) + "\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"" + std::to_string(tcpPort) +
         "\"/>\n</BOOTLOAD_SETTING>\n";
}

std::string LogOf(const std::string& reader) { return cli::ReaderLogFileName(reader); }

class CliReader : public CliTest {
 protected:
  std::vector<std::unique_ptr<BackgroundProcess>> sims_;

  void SetUp() override {
    ASSERT_FALSE(SimulatorPath().empty());
    lead_ = {"--folder", dir_.path()};
    auto made = Cli({"make-demo", dir_.path()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }

  // Starts the simulated reader; the READY line of each of its `count` readers.
  std::vector<std::string> StartReaders(std::vector<std::string> args, int count = 1) {
    args.insert(args.begin(), {SimulatorPath(), "--time-scale", kScale});
    sims_.push_back(std::make_unique<BackgroundProcess>(ProcessSpec::Of(args, true)));
    std::vector<std::string> ready;
    for (int i = 0; i < count; ++i) ready.push_back(sims_.back()->WaitForLine("READY", 10s).value_or(""));
    EXPECT_THAT(ready.back(), HasSubstr("READY")) << "the simulated reader did not start";
    return ready;
  }

  // A reader listening for TCP, named by the configuration; also its address.
  std::string StartTcpReader(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--tcp-listen", "0"});
    const std::string port = ValueAfter(StartReaders(extra)[0], "port=");
    dir_.Write("BootloadConfiguration.xml", Configuration(std::atoi(port.c_str()), FreeLoopbackPort()));
    return "tcp:127.0.0.1:" + port;
  }

  std::vector<nlohmann::json> Events(const ProcessResult& r) {
    std::vector<nlohmann::json> events;
    for (const auto& line : r.Lines()) {
      if (line.empty()) continue;
      EXPECT_TRUE(nlohmann::json::accept(line)) << "not JSON: " << line;
      if (nlohmann::json::accept(line)) events.push_back(nlohmann::json::parse(line));
    }
    return events;
  }
};

TEST_F(CliReader, WithoutJsonTheLastLineIsTheFinalStatusAndProgressComesInTenths) {
  StartTcpReader();
  auto r = Cli({"update", "demo_application.fm", "--interface", "tcp", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.LastLine(), "Firmware Update Succeeded");
  EXPECT_EQ(std::ranges::count_if(r.Lines(), [](const std::string& line) {
              return line.starts_with("demo_application.fm: ") && line.find("% (") != std::string::npos;
            }),
            10);
  EXPECT_THAT(r.out, HasSubstr("demo_application.fm: 100% (99/99 blocks)\ndemo_application.fm: Completed"));

  auto declined = Cli({"--interface", "tcp", "update", "demo_application.fm"}, "n\n");
  EXPECT_EQ(declined.exitCode, 1);
  EXPECT_THAT(declined.out, HasSubstr("Not confirmed; nothing was sent to the reader."));
  EXPECT_THAT(declined.out, Not(HasSubstr("Firmware Updating...")));
  EXPECT_EQ(declined.LastLine(), "Device Ready");

  auto terminal = Cli({"--interface", "tcp", "update", "demo_uniapp.fm", "--yes"}, {}, true);
  ASSERT_EQ(terminal.exitCode, 0) << terminal.out;
  EXPECT_THAT(terminal.out, HasSubstr("\r\033[K"));
  EXPECT_THAT(terminal.out, ContainsRegex("] 100%  3/3 blocks .* left"));
  EXPECT_EQ(terminal.LastLine(), "Update Succeeded");
}

TEST_F(CliReader, AFailedOrRefusedUpdateExitsOneWithTheFailureAsLastLine) {
  struct Case {
    std::vector<std::string> reader;
    std::string module, lastLine, said;
  };
  const Case cases[] = {
      {{"--fail-block", "2:0x0A:always"}, "app_ct_l2_demo.fm", "Update Failed", "app_ct_l2_demo.fm: Failed"},
      {{"--non-pci"}, "demo_application.fm", "PCI not match", "PCI not match"},
  };
  for (const auto& c : cases) {
    StartTcpReader(c.reader);
    auto r = Cli({"--interface", "tcp", "update", c.module, "--yes"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.LastLine(), c.lastLine);
    EXPECT_THAT(r.out, HasSubstr(c.said));
    sims_.clear();
  }
}

TEST_F(CliReader, AnUpdateOverAPseudoTerminalConfirmedOnStandardInput) {
  const std::string path = ValueAfter(StartReaders({"--pty"})[0], "path=");
  ASSERT_THAT(path, StartsWith("/dev/"));
  auto r = Cli({"update", "demo_uniapp.fm", "--port", path}, "y\n");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_THAT(r.out, HasSubstr("Uni-App file list:"));
  EXPECT_THAT(r.err, HasSubstr("Continue with the update? [y/N]"));
  EXPECT_EQ(r.LastLine(), "Update Succeeded");
}

TEST_F(CliReader, Q450TakesThePassThroughRouteOfA4710Reader) {
  const std::string path = ValueAfter(StartReaders({"--pty", "--version", "Orvane Q 4710 V2"})[0], "path=");
  auto r = Cli({"update", "demo_application.fm", "--port", path, "--q450", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.LastLine(), "Firmware Update Succeeded");
  EXPECT_THAT(TempDir::Read(dir_.File("ORV_Bootload_log.txt")), HasSubstr("Pass-Through"));
}

TEST_F(CliReader, InfoReportsWhatTheReaderSaysAboutItself) {
  StartTcpReader({"--version", "Orvane Q9 APP 4710 V3"});
  auto doc = nlohmann::json::parse(Cli({"info", "--interface", "tcp", "--json"}).out);
  EXPECT_EQ(doc["connection"], "TCP client");
  EXPECT_EQ(doc["mode"], "application");
  EXPECT_EQ(doc["versionText"], "Orvane Q9 APP 4710 V3");
  EXPECT_EQ(doc["model4710"], false);  // the model is only looked for on the local interfaces
  EXPECT_EQ(doc["pci"], nullptr);
  sims_.clear();

  StartTcpReader({"--mode", "boot", "--non-pci", "--stop-package", "261"});
  auto boot = Cli({"info", "--interface", "tcp"});
  ASSERT_EQ(boot.exitCode, 0) << boot.err;
  EXPECT_THAT(boot.out, HasSubstr("Mode:          bootloader"));
  EXPECT_THAT(boot.out, HasSubstr("Type:          non-PCI"));
  EXPECT_THAT(boot.out, HasSubstr("Stop package:  261"));
}

TEST_F(CliReader, NoReaderWithinTheTimeoutExitsThree) {
  dir_.Write("BootloadConfiguration.xml", Configuration(FreeLoopbackPort(), FreeLoopbackPort()));
  auto info = Cli({"info", "--interface", "tcp", "--timeout", "2"});
  EXPECT_EQ(info.exitCode, 3);
  EXPECT_THAT(info.err, HasSubstr("no reader found within the time-out"));

  auto hid = Cli({"update", "--all", "--yes", "--one-reader", "hid:1-9.9", "--timeout", "1"});
  EXPECT_EQ(hid.exitCode, 3);
  EXPECT_THAT(hid.err, HasSubstr("no USB HID interface at 1-9.9 yet"));

  auto update = Cli({"update", "--all", "--yes", "--json", "--interface", "tls", "--timeout", "2"});
  EXPECT_EQ(update.exitCode, 3);
  EXPECT_EQ(nlohmann::json::parse(update.LastLine())["exitCode"], 3);
}

TEST_F(CliReader, ATlsServerThatCannotStartSaysWhyOnceAsAnError) {
  // The folder has no server certificate.
  dir_.Write("BootloadConfiguration.xml", Configuration(FreeLoopbackPort(), FreeLoopbackPort()));
  // Long enough for the detection to try the server several times.
  auto info = Cli({"info", "--interface", "tls", "--timeout", "8"});
  EXPECT_EQ(info.exitCode, 3);
  const std::string said = "orvane-bootload-cli: load server_cert.pem failed: ";
  EXPECT_THAT(info.err, HasSubstr(said));
  EXPECT_EQ(info.err.find(said), info.err.rfind(said)) << info.err;
}

TEST_F(CliReader, CtrlCStopsAtABlockBoundaryAndSaysWhere) {
  StartTcpReader({"--answer-delay", "300"});
  BackgroundProcess cli(CliSpec({"--interface", "tcp", "update", "demo_application.fm", "--yes"}));
  ASSERT_TRUE(cli.WaitForLine("demo_application.fm: 20%", 30s)) << cli.Output();
  cli.Signal(SIGINT);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_THAT(r.LastLine(), StartsWith("Stopped by the operator: demo_application.fm at block "));
  EXPECT_THAT(r.out, Not(HasSubstr("demo_application.fm: 100%")));
  EXPECT_THAT(r.out, Not(HasSubstr("Firmware Update Succeeded")));
}

// ---- several readers at once ----

TEST_F(CliReader, SeveralReadersEachGetTheirOwnRunResultAndLog) {
  // Reader 1 of the TCP pair drops its link at block 6, reader 2 is healthy;
  // the pseudo-terminal refuses block 5 every time; one reader is never there.
  auto tcpReady = StartReaders({"--tcp-listen", "0", "--count", "2", "--only", "1", "--drop-block", "6:always"}, 2);
  auto ptyReady = StartReaders({"--pty", "--fail-block", "5:31:always"});
  const std::string dropping = "tcp:127.0.0.1:" + ValueAfter(tcpReady[0], "port=");
  const std::string healthy = "tcp:127.0.0.1:" + ValueAfter(tcpReady[1], "port=");
  const std::string refusing = "serial:" + ValueAfter(ptyReady[0], "path=");
  const std::string absent = "tcp:127.0.0.1:" + std::to_string(FreeLoopbackPort());

  auto r = Cli({"update", "demo_bootloader.fm", "--yes", "--json", "--timeout", "2", "--reader", dropping, "--reader",
                refusing, "--reader", absent, "--reader", healthy});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  auto events = Events(r);
  ASSERT_FALSE(events.empty());
  const auto summary = events.back();
  ASSERT_EQ(summary["event"], "summary") << r.out;
  EXPECT_EQ(summary["exit"], 1);
  for (size_t i = 0; i + 1 < events.size(); ++i) EXPECT_TRUE(events[i].contains("reader")) << events[i];

  struct Expected {
    std::string reader, status;
    int exit;
    std::string mark;
  };
  const std::vector<Expected> expected{
      {dropping, "Firmware Update Failed", 1, "Failed"},
      {refusing, "Firmware Update Failed", 1, "Failed"},
      {absent, "No reader found", 3, ""},
      {healthy, "Firmware Update Succeeded", 0, "Completed"},
  };
  ASSERT_EQ(summary["readers"].size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& got = summary["readers"][i];
    const Expected& want = expected[i];
    SCOPED_TRACE(want.reader);
    EXPECT_EQ(got["reader"], want.reader);
    EXPECT_EQ(got["status"], want.status);
    EXPECT_EQ(got["exit"], want.exit);
    for (const auto& m : got["modules"]) EXPECT_EQ(m["mark"], m["name"] == "demo_bootloader.fm" ? want.mark : "");
    if (want.exit == 3) {
      EXPECT_TRUE(got["log"].is_null());
      continue;
    }
    EXPECT_EQ(got["log"], dir_.File(LogOf(want.reader)));
    EXPECT_THAT(TempDir::Read(got["log"]), HasSubstr("BOOTLOAD_SEND_BLOCK:"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("ORV_Bootload_log.txt")));

  // The healthy reader's log is the one a single run writes.
  StartTcpReader();
  auto alone = Cli({"--interface", "tcp", "update", "demo_bootloader.fm", "--yes"});
  ASSERT_EQ(alone.exitCode, 0) << alone.out << alone.err;
  EXPECT_EQ(TempDir::Read(dir_.File(LogOf(healthy))), TempDir::Read(dir_.File("ORV_Bootload_log.txt")));
}

TEST_F(CliReader, SeveralReadersOnATerminalShareOneLiveTable) {
  auto ready = StartReaders({"--tcp-listen", "0", "--count", "2"}, 2);
  // One at a time: the second waits for the first.
  auto r = Cli({"update", "demo_uniapp.fm", "--yes", "--parallel", "1", "--reader",
                "tcp:127.0.0.1:" + ValueAfter(ready[0], "port="), "--reader",
                "tcp:127.0.0.1:" + ValueAfter(ready[1], "port=")},
               {}, true);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("READER"));
  EXPECT_THAT(r.out, HasSubstr("waiting"));
  EXPECT_THAT(r.out, HasSubstr("\033[3A"));  // heading and two readers, redrawn in place
  EXPECT_THAT(r.out, HasSubstr("] 100%"));
  EXPECT_THAT(r.out, ContainsRegex("tcp:127.0.0.1:[0-9]+ +Update Succeeded +1 of 1 completed"));
}

TEST_F(CliReader, CtrlCStopsEveryReaderAtABlockBoundaryAndSaysWhereEachStopped) {
  auto ready = StartReaders({"--tcp-listen", "0", "--count", "2", "--answer-delay", "300"}, 2);
  std::vector<std::string> readers, awaited;
  for (const auto& line : ready) {
    readers.push_back("tcp:127.0.0.1:" + ValueAfter(line, "port="));
    awaited.push_back("[" + cli::ReaderLabel(readers.back()) + "] demo_application.fm: 10%");
  }
  BackgroundProcess cli(CliSpec({"update", "demo_application.fm", "--yes", "--reader", readers[0], "--reader", readers[1]}));
  // Both readers under way, in whichever order their lines come.
  while (!awaited.empty()) {
    auto line = cli.ReadLine(30s);
    ASSERT_TRUE(line) << cli.Output();
    std::erase_if(awaited, [&](const std::string& text) { return line->find(text) != std::string::npos; });
  }
  cli.Signal(SIGINT);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_THAT(r.out, Not(HasSubstr("Firmware Update Succeeded")));
  for (const auto& reader : readers) {
    EXPECT_THAT(r.out, ContainsRegex(reader + " +Stopped by the operator: demo_application.fm at block "));
    EXPECT_TRUE(std::filesystem::exists(dir_.File(LogOf(reader))));
  }
}

TEST_F(CliReader, AReaderRunThatCrashesEndsNoOtherRun) {
  auto ready = StartReaders({"--tcp-listen", "0", "--count", "2", "--answer-delay", "100"}, 2);
  const std::string doomed = "tcp:127.0.0.1:" + ValueAfter(ready[0], "port=");
  const std::string survivor = "tcp:127.0.0.1:" + ValueAfter(ready[1], "port=");
  BackgroundProcess cli(CliSpec({"update", "demo_bootloader.fm", "--yes", "--json", "--reader", doomed, "--reader", survivor}));
  ASSERT_TRUE(cli.WaitForLine("\"reader\":\"" + doomed + "\",\"event\":\"progress\"", 30s)) << cli.Output();
  // The run's child for the doomed reader: the one whose command line names it.
  std::istringstream children(TempDir::Read("/proc/" + std::to_string(cli.pid()) + "/task/" +
                                            std::to_string(cli.pid()) + "/children"));
  pid_t child = 0;
  for (pid_t pid; children >> pid;) {
    if (TempDir::Read("/proc/" + std::to_string(pid) + "/cmdline").find(doomed) != std::string::npos) child = pid;
  }
  ASSERT_NE(child, 0);
  ::kill(child, SIGKILL);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  const auto summary = nlohmann::json::parse(r.LastLine());
  EXPECT_EQ(summary["readers"][0]["status"], "The reader's run ended abnormally (signal 9)");
  EXPECT_EQ(summary["readers"][1]["status"], "Firmware Update Succeeded");
  EXPECT_EQ(summary["readers"][1]["exit"], 0);
}

// `--readers all`: one HID reader per USB location of a configured identity,
// and only the serial ports whose reader answers.
TEST(ReaderDiscovery, OneHidReaderPerLocationAndOnlySerialPortsWhoseReaderAnswers) {
  ScaledClock clock(20);
  ScopedClock scoped(clock);
  BootloadSettings settings;
  settings.vidPidList = {{0x1209, 0x3810, 1}, {0x1209, 0x3811, 1}};
  settings.baudRateList = {115200};
  settings.dataBits = "8";
  settings.stopBits = "1";
  settings.parity = "N";
  FakeHidBackend hid;
  // A reader with two interfaces, one in its bootloader (another product id), and a stranger.
  for (auto [vid, pid, number, path, location] : {std::tuple{0x1209, 0x3810, 0, "/dev/hidraw3", "1-2.3"},
                                                  {0x1209, 0x3810, 1, "/dev/hidraw4", "1-2.3"},
                                                  {0x1209, 0x3811, 0, "/dev/hidraw5", "1-2.4"},
                                                  {0x046D, 0xC52B, 0, "/dev/hidraw6", "1-3"}}) {
    auto device = std::make_shared<FakeHidDevice>(vid, pid, number, number > 0);
    device->SetAddress(path, location);
    hid.AddDevice(device);
  }
  sim::ReaderOptions options;
  sim::SimulatedReader reader(options);
  sim::SimPty answering(reader);
  ASSERT_TRUE(answering.Start());
  int master = -1, slave = -1;  // a terminal on which nothing answers
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  UniqueFd masterFd(master), slaveFd(slave);
  const std::vector<std::string> devices{::ttyname(slave), answering.Path()};
  const auto found = cli::FindLocalReaders(settings, hid, [&](std::vector<PortInfo>& ports) {
    for (const std::string& path : devices) ports.emplace_back().devicePath = path;
  });
  EXPECT_EQ(found, (std::vector<std::string>{"hid:1-2.3", "hid:1-2.4", "serial:" + answering.Path()}));
}

}  // namespace
}  // namespace orvane::test
