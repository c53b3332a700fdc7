// The command line against the simulated reader, both as processes: whole
// updates over TCP, TLS and a pseudo-terminal, the JSON event stream, the
// final status line, info, the time-out, Ctrl+C and the confirmation.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <nlohmann/json.hpp>

#include "cli_test_support.h"
#include "support/temp_dir.h"

namespace orvane::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::chrono_literals;

// Pauses of the procedures and of the simulated reader run this much faster.
constexpr const char* kScale = "10";

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  ::close(fd);
  return ntohs(addr.sin_port);
}

std::string ValueAfter(const std::string& line, const std::string& key) {
  size_t at = line.find(key);
  if (at == std::string::npos) return {};
  size_t end = line.find(' ', at);
  return line.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
}

std::string Configuration(int tcpPort, int tlsPort) {
  return "<BOOTLOAD_SETTING>\n"
         "  <SERIAL baudrateList=\"38400\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
         "  <SWITCHES enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n"
         "  <NETWORK TLS_Server_Port=\"" +
         std::to_string(tlsPort) + "\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"" + std::to_string(tcpPort) +
         "\"/>\n</BOOTLOAD_SETTING>\n";
}

class CliReader : public ::testing::Test {
 protected:
  TempDir home_;
  TempDir dir_;
  std::unique_ptr<BackgroundProcess> sim_;

  void SetUp() override {
    ASSERT_FALSE(SimulatorPath().empty());
    auto made = RunCli({"make-demo", dir_.path()}, home_.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }

  // Starts the simulated reader; the value after `key` on its READY line.
  std::string StartReader(std::vector<std::string> args, const std::string& key) {
    ProcessSpec spec;
    spec.args = {SimulatorPath()};
    spec.args.insert(spec.args.end(), args.begin(), args.end());
    spec.args.insert(spec.args.end(), {"--time-scale", kScale});
    sim_ = std::make_unique<BackgroundProcess>(spec);
    auto ready = sim_->WaitForLine("READY", 10s);
    EXPECT_TRUE(ready) << "the simulated reader did not start";
    return ready ? ValueAfter(*ready, key) : std::string();
  }

  int StartTcpReader(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--tcp-listen", "0"});
    int port = std::atoi(StartReader(extra, "port=").c_str());
    dir_.Write("BootloadConfiguration.xml", Configuration(port, FreePort()));
    return port;
  }

  // The command line on the test's program folder, at the test's clock scale.
  ProcessSpec CliSpec(const std::vector<std::string>& args) {
    ProcessSpec spec;
    spec.args = {CliPath(), "--folder", dir_.path()};
    spec.args.insert(spec.args.end(), args.begin(), args.end());
    spec.env = {{"ORVANE_CLOCK_SCALE", kScale}, {"XDG_CONFIG_HOME", home_.path()}};
    return spec;
  }

  ProcessResult Cli(std::vector<std::string> args, std::string input = {}, bool terminal = false) {
    ProcessSpec spec = CliSpec(args);
    spec.input = std::move(input);
    spec.stdoutIsTerminal = terminal;
    spec.limit = 60s;
    return RunProcess(spec);
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

TEST_F(CliReader, AWholeUpdateOverTcpStreamsJsonEventsAndEndsWithASummary) {
  StartTcpReader();
  auto r = Cli({"--interface", "tcp", "update", "--all", "--yes", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  auto events = Events(r);
  ASSERT_FALSE(events.empty());
  const auto& summary = events.back();
  EXPECT_EQ(summary["event"], "summary");
  EXPECT_EQ(summary["status"], "Update Succeeded");
  EXPECT_EQ(summary["succeeded"], true);
  EXPECT_EQ(summary["exitCode"], 0);
  EXPECT_EQ(summary["log"], dir_.File("ORV_Bootload_log.txt"));
  std::vector<std::string> statuses, completed;
  int progressEvents = 0;
  for (const auto& e : events) {
    if (e["event"] == "status") statuses.push_back(e["text"]);
    if (e["event"] == "row" && e["mark"] == "Completed") completed.push_back(e["name"]);
    if (e["event"] == "progress") ++progressEvents;
  }
  EXPECT_THAT(statuses, Contains("Bootload Enter okay"));
  EXPECT_THAT(statuses, Contains("Firmware Updating..."));
  EXPECT_THAT(statuses, Contains("Firmware Update Succeeded"));
  EXPECT_THAT(statuses, Contains("UniApp Updating..."));
  EXPECT_EQ(statuses.back(), "Update Succeeded");
  EXPECT_THAT(completed, ::testing::UnorderedElementsAre("demo_bootloader.fm", "demo_application.fm",
                                                         "app_ct_l2_demo.fm", "app_nfcrd_l2_amex_demo.fm",
                                                         "demo_uniapp.fm"));
  EXPECT_GT(progressEvents, 20);
  for (const auto& m : summary["modules"]) EXPECT_EQ(m["mark"], "Completed") << m["name"];
  EXPECT_THAT(TempDir::Read(dir_.File("ORV_Bootload_log.txt")), HasSubstr("[Time Last:"));
}

TEST_F(CliReader, WithoutJsonTheLastLineIsTheFinalStatusAndProgressComesInTenths) {
  StartTcpReader();
  auto r = Cli({"update", "demo_application.fm", "--interface", "tcp", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.LastLine(), "Firmware Update Succeeded");
  int tenths = 0;
  for (const auto& line : r.Lines()) {
    if (line.starts_with("demo_application.fm: ") && line.find("% (") != std::string::npos) ++tenths;
  }
  EXPECT_EQ(tenths, 10);
  EXPECT_THAT(r.out, HasSubstr("demo_application.fm: 100% (99/99 blocks)"));
  EXPECT_THAT(r.out, HasSubstr("demo_application.fm: Completed"));
}

TEST_F(CliReader, AFailedOrRefusedUpdateExitsOneWithTheFailureAsLastLine) {
  struct Case {
    std::vector<std::string> reader;
    std::string module;
    std::string lastLine;
    std::string mark;
  };
  const Case cases[] = {
      {{"--fail-block", "2:0x0A:always"}, "app_ct_l2_demo.fm", "Update Failed", "app_ct_l2_demo.fm: Failed"},
      {{"--non-pci"}, "demo_application.fm", "PCI not match", ""},
  };
  for (const auto& c : cases) {
    StartTcpReader(c.reader);
    auto r = Cli({"--interface", "tcp", "update", c.module, "--yes"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.LastLine(), c.lastLine);
    if (!c.mark.empty()) {
      EXPECT_THAT(r.out, HasSubstr(c.mark));
    }
    sim_.reset();
  }
}

TEST_F(CliReader, AnUpdateOverTlsWithTheReaderAsClient) {
  ProcessSpec openssl;
  openssl.args = {"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                  "-nodes", "-days", "1", "-subj", "/CN=localhost", "-keyout", dir_.File("server_key.pem"),
                  "-out", dir_.File("server_cert.pem")};
  auto key = RunProcess(openssl);
  ASSERT_EQ(key.exitCode, 0) << key.err;
  const int tlsPort = FreePort();
  dir_.Write("BootloadConfiguration.xml", Configuration(FreePort(), tlsPort));
  StartReader({"--tls-connect", "127.0.0.1:" + std::to_string(tlsPort)}, "port=");
  auto r = Cli({"--interface", "tls", "update", "demo_uniapp.fm", "app_ct_l2_demo.fm", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.LastLine(), "Update Succeeded");
  EXPECT_THAT(r.out, HasSubstr("demo_uniapp.fm: Completed"));
}

TEST_F(CliReader, AnUpdateOverAPseudoTerminalConfirmedOnStandardInput) {
  const std::string path = StartReader({"--pty"}, "path=");
  ASSERT_THAT(path, StartsWith("/dev/"));
  auto r = Cli({"update", "demo_uniapp.fm", "--port", path}, "y\n");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_THAT(r.out, HasSubstr("Uni-App file list:"));
  EXPECT_THAT(r.err, HasSubstr("Continue with the update? [y/N]"));
  EXPECT_EQ(r.LastLine(), "Update Succeeded");
}

TEST_F(CliReader, Q450TakesThePassThroughRouteOfA4710Reader) {
  const std::string path = StartReader({"--pty", "--version", "Orvane Q 4710 V2"}, "path=");
  auto r = Cli({"update", "demo_application.fm", "--port", path, "--q450", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.LastLine(), "Firmware Update Succeeded");
  EXPECT_THAT(TempDir::Read(dir_.File("ORV_Bootload_log.txt")), HasSubstr("Pass-Through"));
}

TEST_F(CliReader, DecliningTheConfirmationSendsNothing) {
  StartTcpReader();
  auto r = Cli({"--interface", "tcp", "update", "demo_application.fm"}, "n\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.out, HasSubstr("Not confirmed; nothing was sent to the reader."));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Firmware Updating...")));
  EXPECT_EQ(r.LastLine(), "Device Ready");
}

TEST_F(CliReader, OnATerminalEachModuleGetsAProgressBar) {
  StartTcpReader();
  auto r = Cli({"--interface", "tcp", "update", "demo_uniapp.fm", "--yes"}, {}, true);
  ASSERT_EQ(r.exitCode, 0) << r.out << " signal " << r.signal;
  EXPECT_THAT(r.out, HasSubstr("\r\033[K"));
  EXPECT_THAT(r.out, HasSubstr("] 100%  3/3 blocks"));
  EXPECT_THAT(r.out, HasSubstr(" left"));
  EXPECT_EQ(r.LastLine(), "Update Succeeded");
}

TEST_F(CliReader, InfoReportsWhatTheReaderSaysAboutItself) {
  StartTcpReader({"--version", "Orvane Q9 APP 4710 V3"});
  auto r = Cli({"info", "--interface", "tcp", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["found"], true);
  EXPECT_EQ(doc["connection"], "TCP client");
  EXPECT_EQ(doc["mode"], "application");
  EXPECT_EQ(doc["versionText"], "Orvane Q9 APP 4710 V3");
  EXPECT_EQ(doc["model4710"], false);  // the model is only looked for on the local interfaces
  EXPECT_EQ(doc["pci"], nullptr);
  sim_.reset();

  StartTcpReader({"--mode", "boot", "--non-pci", "--stop-package", "261"});
  auto boot = Cli({"info", "--interface", "tcp"});
  ASSERT_EQ(boot.exitCode, 0) << boot.err;
  EXPECT_THAT(boot.out, HasSubstr("Mode:          bootloader"));
  EXPECT_THAT(boot.out, HasSubstr("Type:          non-PCI"));
  EXPECT_THAT(boot.out, HasSubstr("Stop package:  261"));
}

TEST_F(CliReader, NoReaderWithinTheTimeoutExitsThree) {
  dir_.Write("BootloadConfiguration.xml", Configuration(FreePort(), FreePort()));
  auto info = Cli({"info", "--interface", "tcp", "--timeout", "2"});
  EXPECT_EQ(info.exitCode, 3);
  EXPECT_THAT(info.err, HasSubstr("no reader found within the time-out"));

  auto hid = Cli({"update", "--all", "--yes", "--one-reader", "hid:1-9.9", "--timeout", "1"});
  EXPECT_EQ(hid.exitCode, 3);
  EXPECT_THAT(hid.err, HasSubstr("no USB HID interface at 1-9.9 yet"));

  auto update = Cli({"update", "--all", "--yes", "--json", "--interface", "tls", "--timeout", "2"});
  EXPECT_EQ(update.exitCode, 3);
  auto events = Events(update);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"], "summary");
  EXPECT_EQ(events.back()["exitCode"], 3);
}

TEST_F(CliReader, ATlsServerThatCannotStartSaysWhyOnceAsAnError) {
  std::remove(dir_.File("server_cert.pem").c_str());
  dir_.Write("BootloadConfiguration.xml", Configuration(FreePort(), FreePort()));
  // Long enough for the detection to try the server several times.
  auto info = Cli({"info", "--interface", "tls", "--timeout", "8"});
  EXPECT_EQ(info.exitCode, 3);
  std::vector<std::string> said;
  std::istringstream err(info.err);
  for (std::string line; std::getline(err, line);) {
    if (line.find("server_cert.pem") != std::string::npos) said.push_back(line);
  }
  ASSERT_EQ(said.size(), 1u) << info.err;
  EXPECT_THAT(said.front(), StartsWith("orvane-bootload-cli: load server_cert.pem failed: "));
}

TEST_F(CliReader, CtrlCStopsAtABlockBoundaryAndSaysWhere) {
  StartTcpReader({"--answer-delay", "300"});
  BackgroundProcess cli(CliSpec({"--interface", "tcp", "update", "demo_application.fm", "--yes"}));
  ASSERT_TRUE(cli.WaitForLine("demo_application.fm: 20%", 30s)) << cli.Output();
  cli.Signal(SIGINT);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_THAT(r.LastLine(), StartsWith("Stopped by the operator: demo_application.fm at block "));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("demo_application.fm: 100%")));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Firmware Update Succeeded")));
}

// ---- several readers at once ----

// A reader's log file: "tcp:127.0.0.1:4000" gives ORV_Bootload_log-tcp_127.0.0.1_4000.txt.
std::string LogName(std::string reader) {
  for (char& c : reader) c = c == ':' || c == '/' ? '_' : c;
  return "ORV_Bootload_log-" + reader + ".txt";
}

// The frames a simulated reader received, from its trace: "RX ..." lines
// (with --count, of reader `reader` only), without the identification polls,
// whose number depends on timing.
std::vector<std::string> ReceivedFrames(const std::string& trace, const std::string& reader = {}) {
  std::vector<std::string> frames;
  std::istringstream lines(trace);
  const std::string prefix = reader.empty() ? "RX " : "[" + reader + "] RX ";
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(prefix)) frames.push_back(line.substr(prefix.size()));
  }
  if (!frames.empty()) std::erase(frames, std::string(frames.front()));
  return frames;
}

// The simulated reader with its trace in `traceFile`; the READY lines.
std::unique_ptr<BackgroundProcess> StartTracedReaders(const std::vector<std::string>& args, const std::string& traceFile,
                                                      int count, std::vector<std::string>& ready) {
  ProcessSpec spec;
  spec.args = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>\"" + traceFile + "\"", SimulatorPath(), "--trace",
               "--time-scale", kScale};
  spec.args.insert(spec.args.end(), args.begin(), args.end());
  auto sim = std::make_unique<BackgroundProcess>(spec);
  for (int i = 0; i < count; ++i) {
    auto line = sim->WaitForLine("READY", 10s);
    EXPECT_TRUE(line) << "the simulated reader did not start";
    ready.push_back(line.value_or(""));
  }
  return sim;
}

TEST_F(CliReader, SeveralReadersEachGetTheirOwnRunResultAndLog) {
  // Reader 1 of the TCP pair drops its link at block 6, reader 2 is healthy;
  // the pseudo-terminal refuses block 5 every time; one reader is never there.
  std::vector<std::string> tcpReady, ptyReady;
  auto tcp = StartTracedReaders({"--tcp-listen", "0", "--count", "2", "--only", "1", "--drop-block", "6:always"},
                                dir_.File("tcp-trace.txt"), 2, tcpReady);
  auto pty = StartTracedReaders({"--pty", "--fail-block", "5:31:always"}, dir_.File("pty-trace.txt"), 1, ptyReady);
  const std::string dropping = "tcp:127.0.0.1:" + ValueAfter(tcpReady[0], "port=");
  const std::string healthy = "tcp:127.0.0.1:" + ValueAfter(tcpReady[1], "port=");
  const std::string refusing = "serial:" + ValueAfter(ptyReady[0], "path=");
  const std::string absent = "tcp:127.0.0.1:" + std::to_string(FreePort());

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
    bool log;
  };
  const std::vector<Expected> expected{
      {dropping, "Firmware Update Failed", 1, "Failed", true},
      {refusing, "Firmware Update Failed", 1, "Failed", true},
      {absent, "No reader found", 3, "", false},
      {healthy, "Firmware Update Succeeded", 0, "Completed", true},
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
    if (!want.log) {
      EXPECT_TRUE(got["log"].is_null());
      continue;
    }
    EXPECT_EQ(got["log"], dir_.File(LogName(want.reader)));
    EXPECT_THAT(TempDir::Read(got["log"]), HasSubstr("BOOTLOAD_SEND_BLOCK:"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("ORV_Bootload_log.txt")));
  tcp.reset();  // ends the trace

  // The healthy reader got exactly the frames a single run sends.
  std::vector<std::string> singleReady;
  auto single = StartTracedReaders({"--tcp-listen", "0"}, dir_.File("single-trace.txt"), 1, singleReady);
  dir_.Write("BootloadConfiguration.xml", Configuration(std::atoi(ValueAfter(singleReady[0], "port=").c_str()),
                                                        FreePort()));
  auto alone = Cli({"--interface", "tcp", "update", "demo_bootloader.fm", "--yes"});
  ASSERT_EQ(alone.exitCode, 0) << alone.out << alone.err;
  single.reset();
  const auto many = ReceivedFrames(TempDir::Read(dir_.File("tcp-trace.txt")), "2");
  EXPECT_GT(many.size(), 27u);
  EXPECT_EQ(many, ReceivedFrames(TempDir::Read(dir_.File("single-trace.txt"))));
  EXPECT_EQ(TempDir::Read(dir_.File(LogName(healthy))), TempDir::Read(dir_.File("ORV_Bootload_log.txt")));
}

TEST_F(CliReader, SeveralReadersOnATerminalShareOneLiveTable) {
  std::vector<std::string> ready;
  auto sim = StartTracedReaders({"--tcp-listen", "0", "--count", "2"}, dir_.File("trace.txt"), 2, ready);
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
  EXPECT_THAT(r.out, ::testing::ContainsRegex("tcp:127.0.0.1:[0-9]+ +Update Succeeded +1 of 1 completed"));
}

TEST_F(CliReader, CtrlCStopsEveryReaderAtABlockBoundaryAndSaysWhereEachStopped) {
  std::vector<std::string> ready;
  auto sim = StartTracedReaders({"--tcp-listen", "0", "--count", "2", "--answer-delay", "300"}, dir_.File("trace.txt"),
                                2, ready);
  const std::string first = "tcp:127.0.0.1:" + ValueAfter(ready[0], "port=");
  const std::string second = "tcp:127.0.0.1:" + ValueAfter(ready[1], "port=");
  BackgroundProcess cli(CliSpec({"update", "demo_application.fm", "--yes", "--reader", first, "--reader", second}));
  // Both readers under way, in whichever order their lines come.
  std::vector<std::string> awaited;
  for (const auto& reader : {first, second}) {
    awaited.push_back("[" + LogName(reader).substr(17, LogName(reader).size() - 21) + "] demo_application.fm: 10%");
  }
  while (!awaited.empty()) {
    auto line = cli.ReadLine(30s);
    ASSERT_TRUE(line) << cli.Output();
    std::erase_if(awaited, [&](const std::string& text) { return line->find(text) != std::string::npos; });
  }
  cli.Signal(SIGINT);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Firmware Update Succeeded")));
  for (const auto& reader : {first, second}) {
    EXPECT_THAT(r.out, ::testing::ContainsRegex(reader + " +Stopped by the operator: demo_application.fm at block "));
    EXPECT_TRUE(std::filesystem::exists(dir_.File(LogName(reader))));
  }
}

// The child of `parent` whose command line contains `text`, or 0.
pid_t ChildWith(pid_t parent, const std::string& text) {
  std::istringstream children(TempDir::Read("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                                            "/children"));
  for (pid_t pid; children >> pid;) {
    if (TempDir::Read("/proc/" + std::to_string(pid) + "/cmdline").find(text) != std::string::npos) return pid;
  }
  return 0;
}

TEST_F(CliReader, AReaderRunThatCrashesEndsNoOtherRun) {
  std::vector<std::string> ready;
  auto sim = StartTracedReaders({"--tcp-listen", "0", "--count", "2", "--answer-delay", "100"}, dir_.File("trace.txt"),
                                2, ready);
  const std::string doomed = "tcp:127.0.0.1:" + ValueAfter(ready[0], "port=");
  const std::string survivor = "tcp:127.0.0.1:" + ValueAfter(ready[1], "port=");
  BackgroundProcess cli(
      CliSpec({"update", "demo_bootloader.fm", "--yes", "--json", "--reader", doomed, "--reader", survivor}));
  ASSERT_TRUE(cli.WaitForLine("\"reader\":\"" + doomed + "\",\"event\":\"progress\"", 30s)) << cli.Output();
  const pid_t child = ChildWith(cli.pid(), doomed);
  ASSERT_NE(child, 0);
  ::kill(child, SIGKILL);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  const auto summary = nlohmann::json::parse(r.LastLine());
  EXPECT_EQ(summary["readers"][0]["status"], "The reader's run ended abnormally (signal 9)");
  EXPECT_EQ(summary["readers"][0]["exit"], 1);
  EXPECT_EQ(summary["readers"][1]["status"], "Firmware Update Succeeded");
  EXPECT_EQ(summary["readers"][1]["exit"], 0);
}

}  // namespace
}  // namespace orvane::test
