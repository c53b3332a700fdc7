#include "transfer_measure.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "firmware/firmware_file.h"
#include "firmware/module_writer.h"
#include "process_meter.h"
#include "program_folder.h"

namespace orvane::bench {
namespace {

constexpr uint16_t kBlockSize = 1024;
// The exchange sleeps this long before its first read.
constexpr double kPollPauseUs = 10'000;
// A serial read ends after this much silence following the answer.
constexpr double kSerialGapUs = 5'000;
// The reader's answer to a block command: a header frame without data.
constexpr size_t kBlockAnswerLength = 16;
constexpr size_t kHidReportData = 63;

bool IsSerial(Transport t) { return t == Transport::Pty115200 || t == Transport::Pty921600; }

// Wire time of `bytes` on the link, in microseconds.
double WireUs(Transport transport, size_t bytes) {
  if (IsSerial(transport)) return static_cast<double>(bytes) * 10.0 * 1e6 / SpecOf(transport).baud;
  if (transport == Transport::Hid) {
    const size_t reports = (bytes + kHidReportData - 1) / kHidReportData;
    return static_cast<double>(reports) * kHidReportIntervalMs * 1000.0;
  }
  return 0;  // loopback: no wire to speak of
}

// The least time one block command can take on the link. `overlapped`: the
// exchange's pause before its first read runs while the bytes are still on
// the wire, as they do where a write returns once the bytes are queued (a
// serial port here) or the answer arrives during the pause (HID).
double FloorUs(Transport transport, size_t requestLength, bool overlapped) {
  const double request = WireUs(transport, requestLength);
  const double answer = WireUs(transport, kBlockAnswerLength);
  const double gap = IsSerial(transport) ? kSerialGapUs : 0;
  if (!overlapped) return request + answer + kPollPauseUs + gap;
  if (IsSerial(transport)) return std::max(kPollPauseUs, request + answer) + gap;
  return request + std::max(kPollPauseUs, answer);
}

double WakeupsOf(Transport transport, size_t requestLength) {
  if (IsSerial(transport)) return 2;
  if (transport == Transport::Hid) return static_cast<double>((requestLength + kHidReportData - 1) / kHidReportData + 1);
  return 1;
}

std::string WriteModule(const test::TempDir& folder, int dataBlocks) {
  ModuleSpec spec;
  spec.infoText = "Benchmark module";
  spec.blockSize = kBlockSize;
  spec.blockCount = static_cast<uint16_t>(dataBlocks);
  const std::string path = folder.File("bench_application.fm");
  return WriteModuleFile(path, spec) ? path : std::string();
}

}  // namespace

TransferResult MeasureTransfer(Transport transport, int dataBlocks) {
  TransferResult result;
  test::TempDir folder;
  const std::string path = WriteModule(folder, dataBlocks);
  FirmwareFile file;
  if (path.empty() || file.ParseModuleFile(path) != ParseResult::Ok) {
    result.error = "cannot make the module file";
    return result;
  }
  TransferRig rig(transport, false);
  if (!rig.Connect(result.error)) return result;
  ReaderChannel& channel = rig.channel();
  int count = 0;
  if (!channel.QueueBootloadBlocks(file.sections, count) || channel.frameProtocol() != FrameProtocol::Header) {
    result.error = "the queue is not what the benchmark expects";
    return result;
  }
  for (const CommandRecord& record : channel.Queue()) {
    result.floorUs += FloorUs(transport, record.frameLength, false);
    result.overlapFloorUs += FloorUs(transport, record.frameLength, true);
    result.wakeups += WakeupsOf(transport, record.frameLength);
  }
  result.commands = static_cast<int>(channel.QueueLength());
  result.floorUs /= result.commands;
  result.overlapFloorUs /= result.commands;
  result.wakeups /= result.commands;
  channel.ClearSessionText();

  int calls = 0;
  result.cpuOfThread = rig.ReaderInProcess();
  const uint64_t cpuStart = result.cpuOfThread ? ThreadCpuUs() : ProcessCpuUs();
  const uint64_t wallStart = WallUs();
  const bool sent = channel.RunCommandQueue([&](int, int) { ++calls; });
  result.wallUs = WallUs() - wallStart;
  result.cpuUs = (result.cpuOfThread ? ThreadCpuUs() : ProcessCpuUs()) - cpuStart;
  result.peakRssKb = PeakRssKb();
  if (!sent || calls != result.commands) {
    result.error = "the transfer failed after " + std::to_string(calls) + " commands";
    return result;
  }
  result.ok = true;
  return result;
}

SilentResult MeasureSilentWait(Transport transport) {
  SilentResult result;
  test::TempDir folder;
  const std::string path = WriteModule(folder, 4);
  FirmwareFile file;
  if (path.empty() || file.ParseModuleFile(path) != ParseResult::Ok) {
    result.error = "cannot make the module file";
    return result;
  }
  TransferRig rig(transport, true);
  if (!rig.Connect(result.error)) return result;
  ReaderChannel& channel = rig.channel();
  int count = 0;
  channel.QueueBootloadBlocks(file.sections, count);
  uint8_t answer[kResponseBufferSize] = {};
  uint32_t answerLength = 0;
  ReaderStatus status = 0;
  const uint64_t cpuStart = rig.ReaderInProcess() ? ThreadCpuUs() : ProcessCpuUs();
  const uint64_t wallStart = WallUs();
  const bool answered =
      channel.ExchangeCommand(channel.Queue().front(), answer, answerLength, status, ResponseWait::ReadOnce, false);
  result.wallUs = WallUs() - wallStart;
  result.cpuUs = (rig.ReaderInProcess() ? ThreadCpuUs() : ProcessCpuUs()) - cpuStart;
  if (answered || answerLength != 0) {
    result.error = "the reader was not silent";
    return result;
  }
  result.ok = true;
  return result;
}

namespace {

// BENCH_CLI_WRAPPER runs the command line under a profiler, for example
// "valgrind --tool=massif --massif-out-file=/tmp/cli.massif".
std::vector<std::string> CliCommand(const test::TempDir& folder, int timeoutSeconds) {
  std::vector<std::string> argv;
  if (const char* wrapper = std::getenv("BENCH_CLI_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) argv.push_back(word);
  }
  argv.insert(argv.end(), {ORVANE_CLI_EXE, "--folder", folder.path(), "--interface", "tcp", "--yes", "--json",
                           "--timeout", std::to_string(timeoutSeconds), "update", "--all"});
  return argv;
}

}  // namespace

CliRunResult MeasureCommandLineRun(int commands) {
  CliRunResult result;
  result.commands = commands;
  test::TempDir folder;
  test::BackgroundProcess reader(test::ProcessSpec::Of({ORVANE_READER_SIM_EXE, "--tcp-listen", "0"}, true));
  if (!reader.Started()) {
    result.error = "cannot start the simulated reader";
    return result;
  }
  const auto ready = reader.ReadLine(std::chrono::seconds(10));
  if (!ready || ready->rfind("READY tcp port=", 0) != 0) {
    result.error = "the simulated reader did not get ready";
    return result;
  }
  if (!WriteProgramFolder(folder, {ready->substr(ready->find('=') + 1), 115200, commands})) {
    result.error = "cannot write the program folder";
    return result;
  }
  const std::vector<std::string> argv = CliCommand(folder, 60);
  const uint64_t start = WallUs();
  test::BackgroundProcess cli(test::ProcessSpec::Of(argv, true));
  if (!cli.Started()) {
    result.error = "cannot start the command line";
    return result;
  }
  uint64_t firstProgress = 0;
  uint64_t lastProgress = 0;
  while (auto line = cli.ReadLine(std::chrono::minutes(2))) {
    if (line->find("\"event\":\"progress\"") != std::string::npos) {
      lastProgress = WallUs();
      if (firstProgress == 0) firstProgress = lastProgress;
    }
  }
  const test::ProcessResult run = cli.Wait(std::chrono::minutes(2));
  result.exitStatus = run.exitCode;
  result.wallUs = WallUs() - start;
  result.transferUs = lastProgress - firstProgress;
  result.cpuUs = CpuUs(run.usage);
  result.peakRssKb = static_cast<uint64_t>(run.usage.ru_maxrss);
  result.ok = result.exitStatus == 0;
  if (!result.ok) result.error = "the command line ended with status " + std::to_string(result.exitStatus);
  return result;
}

SilentResult MeasureCommandLineSilent(int seconds) {
  SilentResult result;
  test::TempDir folder;
  // A reader that takes the connection and never says a word: the kernel
  // completes the handshake for the listening socket, nobody reads.
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (!listener ||
      ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), 4) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    result.error = "cannot listen";
    return result;
  }
  if (!WriteProgramFolder(folder, {std::to_string(ntohs(address.sin_port)), 115200, 8})) {
    result.error = "cannot write the program folder";
    return result;
  }
  const uint64_t start = WallUs();
  test::BackgroundProcess cli(test::ProcessSpec::Of(CliCommand(folder, seconds), true));
  if (!cli.Started()) {
    result.error = "cannot start the command line";
    return result;
  }
  while (cli.ReadLine(std::chrono::minutes(10))) {
  }
  const test::ProcessResult run = cli.Wait(std::chrono::minutes(10));
  result.wallUs = WallUs() - start;
  result.cpuUs = CpuUs(run.usage);
  // Gives up with "no reader found" once the time-out has passed.
  result.ok = run.exitCode == 3;
  if (!result.ok) result.error = "the command line ended with status " + std::to_string(run.exitCode);
  return result;
}

}  // namespace orvane::bench
