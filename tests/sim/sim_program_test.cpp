// The orvane-reader-sim program: its command line, and a run as a process.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "reader-sim/sim_command_line.h"
#include "sim_test_frames.h"
#include "sim_test_io.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace orvane::sim {
namespace {

using namespace orvane::sim::test;

TEST(SimCommandLineParse, TakesEveryReaderOption) {
  SimCommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseSimCommandLine({"--tls-connect", "127.0.0.1:4433", "--mode", "boot", "--framing", "stx",
                                   "--version", "Orvane 4710 APP", "--non-pci", "--stop-package", "12",
                                   "--access-code", "ABCDE", "--reboot-delay", "900", "--after-load", "app",
                                   "--finish-busy", "0", "--fail-block", "5:0x0A:always", "--silent-block", "6",
                                   "--drop-block", "7", "--garble-block", "8:always", "--garble-answer", "3",
                                   "--answer-delay", "40", "--trace", "--time-scale", "50"},
                                  cl, error))
      << error;
  EXPECT_EQ(cl.link, SimCommandLine::Link::TlsConnect);
  EXPECT_EQ(cl.host, "127.0.0.1");
  EXPECT_EQ(cl.port, 4433);
  const ReaderOptions& r = cl.reader;
  EXPECT_EQ(r.mode, ReaderMode::Bootloader);
  EXPECT_EQ(r.framing, FrameProtocol::Stx);
  EXPECT_EQ(r.applicationVersion, "Orvane 4710 APP");
  EXPECT_EQ(r.typeChar, '3');
  EXPECT_EQ(r.stopPackage, 12u);
  EXPECT_EQ(r.accessCode, "ABCDE");
  EXPECT_EQ(r.rebootDelayMs, 900u);
  EXPECT_EQ(r.afterLoad, AfterLoad::RebootToApplication);
  EXPECT_EQ(r.finishBusyMs, 0u);
  ASSERT_EQ(r.blockFaults.size(), 4u);
  EXPECT_EQ(r.blockFaults[0].block, 5u);
  EXPECT_EQ(r.blockFaults[0].code, 0x0A);
  EXPECT_TRUE(r.blockFaults[0].always);
  EXPECT_EQ(r.blockFaults[1].kind, FaultKind::Silent);
  EXPECT_FALSE(r.blockFaults[1].always);
  EXPECT_EQ(r.blockFaults[2].kind, FaultKind::DropLink);
  EXPECT_EQ(r.blockFaults[3].kind, FaultKind::Garble);
  EXPECT_TRUE(r.blockFaults[3].always);
  EXPECT_EQ(r.garbleAnswerNo, 3u);
  EXPECT_EQ(r.answerDelayMs, 40u);
  EXPECT_TRUE(cl.trace);
  EXPECT_EQ(cl.timeScale, 50u);
}

TEST(SimCommandLineParse, RefusesWhatCannotBeUsed) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--pty", "--tcp-listen", "0"},
      {"--tcp-listen", "70000"},
      {"--tcp-listen", "0", "--link", "/tmp/x"},
      {"--tls-connect", "localhost"},
      {"--pty", "--access-code", "ABC"},
      {"--pty", "--fail-block", "3"},
      {"--pty", "--fail-block", "0:5"},
      {"--pty", "--silent-block", "3:sometimes"},
      {"--pty", "--mode", "sleep"},
      {"--pty", "--type-char", "23"},
      {"--pty", "--time-scale", "0"},
      {"--pty", "--reboot-delay"},
      {"--pty", "--bogus"},
      {"--pty", "--count", "0"},
      {"--pty", "--count", "65"},
      {"--tcp-listen", "65535", "--count", "2"},
      {"--pty", "--count", "2", "--only", "3", "--mode", "boot"},
      {"--pty", "--count", "2", "--only", "1", "--link", "/tmp/x"},
      {"--pty", "--count", "2", "--only", "1", "--drop-block", "0"},
      {"--tcp-listen", "0", "--count", "2", "--only", "2", "--baud", "9600"},
  };
  for (const auto& args : bad) {
    SimCommandLine cl;
    std::string error;
    EXPECT_FALSE(ParseSimCommandLine(args, cl, error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
  SimCommandLine cl;
  std::string error;
  EXPECT_TRUE(ParseSimCommandLine({"--help"}, cl, error));
  EXPECT_TRUE(cl.help);
  EXPECT_NE(SimUsage().find("--tcp-listen PORT"), std::string::npos);
}

// The program run as a child process with its output on pipes.
orvane::test::ProcessSpec SimProgram(std::vector<std::string> args) {
  args.insert(args.begin(), ORVANE_READER_SIM_EXE);
  return orvane::test::ProcessSpec::Of(std::move(args));
}

// Sends `signal` and returns how the program ended.
orvane::test::ProcessResult Stop(orvane::test::BackgroundProcess& sim, int signal) {
  sim.Signal(signal);
  return sim.Wait(std::chrono::seconds(5));
}

TEST(SimProgram, ServesTcpPrintsTheTraceAndEndsOnSigterm) {
  orvane::test::BackgroundProcess sim(
      SimProgram({"--tcp-listen", "0", "--time-scale", "100", "--trace", "--version", "Orvane 4710 APP V9"}));
  std::string line = sim.ReadLine(std::chrono::seconds(5)).value_or("");
  const std::string prefix = "READY tcp port=";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  int port = std::stoi(line.substr(prefix.size()));
  ASSERT_GT(port, 0);
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(WriteAll(fd.get(), IdentifyHeader()));
  EXPECT_EQ(ReadAnswer(fd.get()), HeaderAnswer(0x29, 0x00, Text("Orvane 4710 APP V9")));
  const orvane::test::ProcessResult end = Stop(sim, SIGTERM);
  EXPECT_EQ(end.exitCode, 0);
  const std::string& trace = end.err;
  EXPECT_NE(trace.find("RX 4B 65 4C 4F 6D 61 72 6E 32 00 29 00 00 00"), std::string::npos) << trace;
  EXPECT_NE(trace.find("TX 4B 65 4C 4F 6D 61 72 6E 32 00 29 00 00 12"), std::string::npos) << trace;
}

TEST(SimProgram, OffersAPseudoTerminalUnderALinkAndRemovesItOnSigint) {
  orvane::test::TempDir dir;
  std::string link = dir.File("ttyReader");
  orvane::test::BackgroundProcess sim(SimProgram({"--pty", "--link", link, "--framing", "stx"}));
  std::string line = sim.ReadLine(std::chrono::seconds(5)).value_or("");
  EXPECT_EQ(line.rfind("READY pty path=/dev/pts/", 0), 0u) << line;
  EXPECT_EQ(line.substr(line.find(" link=") + 6), link) << line;
  UniqueFd tty(::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(tty);
  ASSERT_TRUE(WriteAll(tty.get(), IdentifyStx()));
  EXPECT_FALSE(ReadAnswer(tty.get()).empty());
  EXPECT_EQ(Stop(sim, SIGINT).exitCode, 0);
  EXPECT_NE(::access(link.c_str(), F_OK), 0);
}

// The value of `key=` in a READY line.
std::string Field(const std::string& line, const std::string& key) {
  size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return "";
  at += key.size() + 2;
  return line.substr(at, line.find(' ', at) - at);
}

// Three readers from one program, each identified by its own version; the
// garbled first answer given to reader 2 alone leaves readers 1 and 3 exact.
TEST(SimProgram, ServesSeveralIndependentReaders) {
  orvane::test::TempDir dir;
  const std::string link = dir.File("ttyReader");
  for (const bool pty : {false, true}) {
    SCOPED_TRACE(pty ? "pty" : "tcp");
    std::vector<std::string> args =
        pty ? std::vector<std::string>{"--pty", "--link", link} : std::vector<std::string>{"--tcp-listen", "0"};
    args.insert(args.end(), {"--count", "3", "--only", "1", "--version", "V1", "--only", "2", "--version", "V2",
                             "--only", "3", "--version", "V3", "--only", "2", "--garble-answer", "1"});
    orvane::test::BackgroundProcess sim(SimProgram(args));
    std::vector<UniqueFd> fds;
    for (int i = 1; i <= 3; ++i) {
      std::string line = sim.ReadLine(std::chrono::seconds(5)).value_or("");
      ASSERT_EQ(Field(line, "reader"), std::to_string(i)) << line;
      if (pty) {
        ASSERT_EQ(Field(line, "link"), link + "-" + std::to_string(i)) << line;
        fds.emplace_back(::open(Field(line, "link").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
      } else {
        fds.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(std::stoi("0" + Field(line, "port"))));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fds.back().get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << line;
      }
      ASSERT_TRUE(fds.back()) << line;
    }
    for (int round = 1; round <= 2; ++round) {
      for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE("round " + std::to_string(round) + ", reader " + std::to_string(i));
        const int fd = fds[static_cast<size_t>(i - 1)].get();
        ASSERT_TRUE(WriteAll(fd, IdentifyHeader()));
        const Bytes answer = ReadAnswer(fd);
        const Bytes exact = HeaderAnswer(0x29, 0x00, Text("V" + std::to_string(i)));
        if (i == 2 && round == 1) {
          EXPECT_EQ(answer.size(), exact.size());
          EXPECT_NE(answer, exact);
        } else {
          EXPECT_EQ(answer, exact);
        }
      }
    }
    EXPECT_EQ(Stop(sim, SIGTERM).exitCode, 0);
  }
}

TEST(SimProgram, ExplainsABadCommandLine) {
  const orvane::test::ProcessResult end = orvane::test::RunProcess(SimProgram({"--tcp-listen"}));
  EXPECT_NE(end.err.find("--tcp-listen needs a value"), std::string::npos);
  EXPECT_EQ(end.exitCode, 2);
}

}  // namespace
}  // namespace orvane::sim
