// The command line run as a process: on module folders and files (list,
// inspect, ports, its exit statuses), and against the simulated reader over
// TCP, TLS and pseudo-terminals, alone and on several readers at once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "app/bootload_settings.h"
#include "app/clock.h"
#include "cli/reader_address.h"
#include "cli/reader_discovery.h"
#include "firmware/module_writer.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/simulated_reader.h"
#include "support/child_process.h"
#include "support/links.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"
#include "transport/serial_port.h"

namespace orvane::test {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

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

// Pauses of the procedures and of the simulated reader run this much faster.
constexpr const char* kScale = "10";

// The user's configuration folder is the test's own, so that nothing of the
// machine's leaks in; `dir_` holds the test's files.
class CliTest : public ::testing::Test {
 protected:
  TempDir home_;
  TempDir dir_;
  std::vector<std::string> lead_;  // arguments put before every command line's own

  ProcessSpec CliSpec(const std::vector<std::string>& args) const {
    ProcessSpec spec;
    spec.args = {ORVANE_CLI_EXE};
    spec.args.insert(spec.args.end(), lead_.begin(), lead_.end());
    spec.args.insert(spec.args.end(), args.begin(), args.end());
    spec.env = {{"ORVANE_CLOCK_SCALE", kScale}, {"XDG_CONFIG_HOME", home_.path()}};
    spec.limit = 60s;
    return spec;
  }

  ProcessResult Cli(const std::vector<std::string>& args, std::string input = {}, bool terminal = false) const {
    ProcessSpec spec = CliSpec(args);
    spec.input = std::move(input);
    spec.stdoutIsTerminal = terminal;
    return RunProcess(spec);
  }

  // Starts the simulated reader; the READY line of each of its `count` readers.
  std::vector<std::string> StartReaders(std::vector<std::string> args, int count = 1) {
    args.insert(args.begin(), {ORVANE_SIM_EXE, "--time-scale", kScale});
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

  std::vector<std::unique_ptr<BackgroundProcess>> sims_;
};

// ---- files ----

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

TEST_F(CliFiles, ListAndInspectShowEveryKindNameUnsendableModulesAndLeaveOutBrokenFiles) {
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
  const std::tuple<std::string, std::string, std::string> rows[] = {
      // name, kind, note
      {"Bootloader_c.fm", "application", ""},
      {"a_app.fm", "application", ""},
      {"a_long.fm", "application", "Can never be sent: its blocks of 1041 bytes are over the 1040-byte limit."},
      {"b_bootloader.fm", "bootloader", ""},
      {"b_many.fm", "application", "Can never be sent: it makes 2049 commands, more than the 2048 an update can send."},
      {"app_nfcrd_l2_amex.fm", "kernel", ""},
      {"app_nfcrd_l2_cup.fm", "kernel",
       "Can never be sent: it makes 2930 commands, more than the 2048 an update can send."},
      {"app_other.fm", "kernel", "name matches no module number: it loads as module 0"},
      {"u.fm", "UniApp", ""},
  };
  ASSERT_EQ(doc["modules"].size(), std::size(rows)) << r.out;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto& [name, kind, note] = rows[i];
    const auto& m = doc["modules"][i];
    EXPECT_EQ(m["name"], name);
    EXPECT_EQ(m["kind"], kind) << name;
    EXPECT_EQ(m["row"], i);
    if (note.empty())
      EXPECT_TRUE(m["notes"].empty()) << name;
    else
      EXPECT_THAT(m["notes"], ElementsAre(HasSubstr(note)));
  }
  EXPECT_EQ(doc["modules"][1]["info"], "APP 1.0");
  EXPECT_EQ(doc["modules"][0]["module"], nullptr);

  auto text = Cli({"list", "--folder", dir_.path()});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_THAT(text.out, HasSubstr("kernel 5"));
  EXPECT_THAT(text.out, HasSubstr("  x\n  Can never be sent: its blocks of 1041 bytes"));
  EXPECT_THAT(text.out, Not(HasSubstr("_short")));
  EXPECT_THAT(text.out, Not(HasSubstr("f_size")));

  // inspect: every section, in words too; a module too long to send is said
  // so, and its chunks are not read.
  // 8 preamble bytes (two empty tagged values), two 16-byte blocks at 0x00010000, a 2-byte trailer.
  const std::string worked = dir_.File("worked.fm");
  Put(worked, [](ModuleSpec& s) {
    s.firstTag = s.secondTag = 0;
    s.infoText.clear();
    s.preambleLength = 8;
    s.trailer = {0xAA, 0x55};
  });
  auto inspected = nlohmann::json::parse(Cli({"inspect", worked, "--json"}).out);
  EXPECT_EQ(inspected["sections"][3]["address"], 0x10010);
  EXPECT_THAT(Cli({"inspect", worked}).out, HasSubstr("Result:          0 (accepted)\n"));
  EXPECT_THAT(Cli({"inspect", worked}).out, HasSubstr("  0      0x00000000  4\n  1      0x00000001  4\n"
                                                      "  2      0x00010000  16\n  3      0x00010010  16\n"
                                                      "  4      0xFFFFFFFF  2\n"));
  EXPECT_THAT(Cli({"inspect", app + "a_long.fm"}).out,
              HasSubstr("Can never be sent: its blocks of 1041 bytes are over the 1040-byte limit.\nSections: 5\n"));
  PutRaw(dir_.File("k.fm"), 2049);
  auto chunks = nlohmann::json::parse(Cli({"inspect", "--raw", "--json", dir_.File("k.fm")}).out)["chunks"];
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[1]["length"], 1024);
  EXPECT_EQ(chunks[2]["length"], 1);
  EXPECT_EQ(chunks[2]["address"], 2048);
  auto huge = nlohmann::json::parse(Cli({"inspect", "--raw", "--json", kernel + "app_nfcrd_l2_cup.fm"}).out);
  EXPECT_EQ(huge["chunkCount"], 2930);
  EXPECT_TRUE(huge["chunks"].empty());
}

// What a command says when it cannot do its work: usage errors, a
// configuration that fails to load and unreadable files exit 2 and say why
// on standard error (the command line's own errors in one line); a rejected
// module exits 1 with its result.
TEST_F(CliFiles, ExitStatusesAndWhatTheySay) {
  Put(dir_.File("zero.fm"), [](ModuleSpec& s) {
    s.securityType = "nonpci";
    s.blockCountField = 0;
  });
  fs::create_directories(dir_.File("folder.fm"));
  const std::string bad = dir_.Write("bad.xml", "<BOOTLOAD_SETTING><A vid_pid=\"ABCD\"/></BOOTLOAD_SETTING>");
  // The command line, its exit status and what it says: on standard output
  // with 0 or 1, else on standard error.
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"frobnicate"}, 2, "orvane-bootload-cli: unknown command 'frobnicate'"},
      {{"udev-rules", "--config", bad}, 2, kConfigurationFormatError},
      {{"udev-rules", "--config", dir_.File("absent.xml")}, 2, kConfigurationFormatError},
      {{"inspect", dir_.File("missing.fm")},
       2,
       "orvane-bootload-cli: cannot read '" + dir_.File("missing.fm") + "': No such file or directory"},
      {{"inspect", dir_.File("folder.fm")}, 2, "it is a folder"},
      {{"inspect", dir_.File("zero.fm")}, 1, "Result:          3 (Error: block data not size error.)"},
  };
  for (const auto& [args, exitCode, said] : cases) {
    auto r = Cli(args);
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(r.exitCode, exitCode);
    if (exitCode != 2) {
      EXPECT_THAT(r.out, HasSubstr(said));
      continue;
    }
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr(said));
    if (said.starts_with("orvane-bootload-cli: ")) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
  }
  auto zero = nlohmann::json::parse(Cli({"inspect", "--json", dir_.File("zero.fm")}).out);
  EXPECT_EQ(zero["resultName"], "SizeError");

  auto empty = Cli({"list", "--json", "--folder", dir_.path()});
  EXPECT_TRUE(nlohmann::json::parse(empty.out)["modules"].empty());
  EXPECT_THAT(empty.err, HasSubstr("search file failed!"));
  EXPECT_THAT(empty.err, HasSubstr("Search file failed!"));
}

TEST_F(CliFiles, PortsListsTheNamedSerialDevicesAndTheConfiguredHidInterfaces) {
  const std::string config = dir_.Write(
      "c.xml", "<BOOTLOAD_SETTING><USB vid_pid=\"1209,3810\"/><S baudrateList=\"9600\"/></BOOTLOAD_SETTING>");
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

// ---- readers ----

// Each reader test starts from a demo folder.
class CliReader : public CliTest {
 protected:
  void SetUp() override {
    lead_ = {"--folder", dir_.path()};
    auto made = Cli({"make-demo", dir_.path()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
};

// Without a terminal, progress comes in tenths and the last line is the final
// status; on one, each module gets a bar; declined, nothing is sent.
TEST_F(CliReader, ProgressFinalStatusAndTheConfirmation) {
  StartTcpReader();
  auto r = Cli({"update", "demo_application.fm", "--interface", "tcp", "--yes"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.LastLine(), "Firmware Update Succeeded");
  EXPECT_EQ(std::ranges::count_if(r.Lines(),
                                  [](const std::string& line) {
                                    return line.starts_with("demo_application.fm: ") &&
                                           line.find("% (") != std::string::npos;
                                  }),
            10);
  EXPECT_THAT(r.out, HasSubstr("demo_application.fm: 100% (99/99 blocks)\ndemo_application.fm: Completed"));

  auto terminal = Cli({"--interface", "tcp", "update", "demo_uniapp.fm", "--yes"}, {}, true);
  ASSERT_EQ(terminal.exitCode, 0) << terminal.out;
  EXPECT_THAT(terminal.out, ContainsRegex("\r\033\\[K.*] 100%  3/3 blocks .* left"));
  EXPECT_EQ(terminal.LastLine(), "Update Succeeded");

  auto declined = Cli({"--interface", "tcp", "update", "demo_application.fm"}, "n\n");
  EXPECT_EQ(declined.exitCode, 1);
  EXPECT_THAT(declined.out, HasSubstr("Not confirmed; nothing was sent to the reader."));
  EXPECT_THAT(declined.out, Not(HasSubstr("Firmware Updating...")));
  EXPECT_EQ(declined.LastLine(), "Device Ready");
}

TEST_F(CliReader, AFailedOrRefusedUpdateExitsOneWithTheFailureAsLastLine) {
  // The reader's options, the module, the last line and what else is said.
  const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
      {{"--fail-block", "2:0x0A:always"}, "app_ct_l2_demo.fm", "Update Failed", "app_ct_l2_demo.fm: Failed"},
      {{"--non-pci"}, "demo_application.fm", "PCI not match", "PCI not match"},
  };
  for (const auto& [reader, module, lastLine, said] : cases) {
    StartTcpReader(reader);
    auto r = Cli({"--interface", "tcp", "update", module, "--yes"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.LastLine(), lastLine);
    EXPECT_THAT(r.out, HasSubstr(said));
    sims_.clear();
  }
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
  EXPECT_THAT(boot.out, HasSubstr("Mode:          bootloader"));
  EXPECT_THAT(boot.out, HasSubstr("Type:          non-PCI"));
  EXPECT_THAT(boot.out, HasSubstr("Stop package:  261"));
}

TEST_F(CliReader, NoReaderWithinTheTimeoutExitsThree) {
  dir_.Write("BootloadConfiguration.xml", Configuration(FreeLoopbackPort(), FreeLoopbackPort()));
  // Long enough for the detection to try the TLS server (which has no
  // certificate) several times: why it cannot start is said once.
  auto info = Cli({"info", "--interface", "tls", "--timeout", "8"});
  EXPECT_EQ(info.exitCode, 3);
  EXPECT_THAT(info.err, HasSubstr("no reader found within the time-out"));
  const std::string said = "orvane-bootload-cli: load server_cert.pem failed: ";
  EXPECT_NE(info.err.find(said), std::string::npos) << info.err;
  EXPECT_EQ(info.err.find(said), info.err.rfind(said)) << info.err;

  auto hid = Cli({"update", "--all", "--yes", "--one-reader", "hid:1-9.9", "--timeout", "1"});
  EXPECT_EQ(hid.exitCode, 3);
  EXPECT_THAT(hid.err, HasSubstr("no USB HID interface at 1-9.9 yet"));

  auto update = Cli({"update", "--all", "--yes", "--json", "--interface", "tcp", "--timeout", "2"});
  EXPECT_EQ(update.exitCode, 3);
  EXPECT_EQ(nlohmann::json::parse(update.LastLine())["exitCode"], 3);
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
  const auto lines = r.Lines();
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    EXPECT_TRUE(nlohmann::json::parse(lines[i]).contains("reader")) << lines[i];
  const auto summary = nlohmann::json::parse(r.LastLine());
  EXPECT_EQ(summary["exit"], 1);

  // Each reader's result, its mark of the module and its own log, in the order named.
  const std::pair<std::string, int> expected[] = {{dropping, 1}, {refusing, 1}, {absent, 3}, {healthy, 0}};
  ASSERT_EQ(summary["readers"].size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const auto& [reader, exit] = expected[i];
    const auto& got = summary["readers"][i];
    SCOPED_TRACE(reader);
    EXPECT_EQ(got["reader"], reader);
    EXPECT_EQ(got["exit"], exit);
    EXPECT_EQ(got["status"], exit == 0   ? "Firmware Update Succeeded"
                             : exit == 1 ? "Firmware Update Failed"
                                         : "No reader found");
    for (const auto& m : got["modules"]) {
      EXPECT_EQ(m["mark"], m["name"] != "demo_bootloader.fm" || exit == 3 ? "" : exit == 0 ? "Completed" : "Failed");
    }
    EXPECT_EQ(got["log"], exit == 3 ? nlohmann::json() : nlohmann::json(dir_.File(cli::ReaderLogFileName(reader))));
    if (exit != 3) {
      EXPECT_THAT(TempDir::Read(got["log"]), HasSubstr("BOOTLOAD_SEND_BLOCK:"));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("ORV_Bootload_log.txt")));
}

TEST_F(CliReader, SeveralReadersOnATerminalShareOneLiveTable) {
  auto ready = StartReaders({"--tcp-listen", "0", "--count", "2"}, 2);
  // One at a time: the second waits for the first.
  auto r = Cli(
      {"update", "demo_uniapp.fm", "--yes", "--parallel", "1", "--reader",
       "tcp:127.0.0.1:" + ValueAfter(ready[0], "port="), "--reader", "tcp:127.0.0.1:" + ValueAfter(ready[1], "port=")},
      {}, true);
  ASSERT_EQ(r.exitCode, 0) << r.out;
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
  BackgroundProcess cli(
      CliSpec({"update", "demo_application.fm", "--yes", "--reader", readers[0], "--reader", readers[1]}));
  // Both readers under way, in whichever order their lines come.
  while (!awaited.empty()) {
    auto line = cli.ReadLine(30s);
    ASSERT_TRUE(line) << cli.Output();
    std::erase_if(awaited, [&](const std::string& text) { return line->find(text) != std::string::npos; });
  }
  cli.Signal(SIGINT);
  auto r = cli.Wait(30s);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  for (const auto& reader : readers) {
    EXPECT_THAT(r.out, ContainsRegex(reader + " +Stopped by the operator: demo_application.fm at block "));
    EXPECT_TRUE(std::filesystem::exists(dir_.File(cli::ReaderLogFileName(reader))));
  }
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
