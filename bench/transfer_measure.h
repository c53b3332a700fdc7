#pragma once
// The measurements of the transfer benchmark. Each runs in a process of its
// own (the benchmark starts itself once per measurement), so that peak
// resident memory belongs to that one run.

#include <cstdint>
#include <string>

#include "transfer_rig.h"

namespace orvane::bench {

// Loading one application module of `dataBlocks` blocks of 1024 bytes
// through RunCommandQueue; the connection and the queue are made before the
// clock starts.
struct TransferResult {
  bool ok = false;
  std::string error;
  int commands = 0;          // block commands sent: preamble, data blocks, trailer
  uint64_t wallUs = 0;       // the whole queue run
  uint64_t cpuUs = 0;        // the program's CPU time during the run
  bool cpuOfThread = false;  // CPU of the sending thread only (reader in this process)
  double floorUs = 0;        // per command: wire time of request and answer + pauses the exchange must make
  double overlapFloorUs = 0; // the same where the pause runs while bytes are still on the wire
  // Per command, the waits whose end the program learns from a wake-up: the
  // pause before the first read; on a serial line the silence that ends the
  // read; on HID each report's write, which blocks until its frame.
  double wakeups = 0;
  uint64_t peakRssKb = 0;
};
TransferResult MeasureTransfer(Transport transport, int dataBlocks);

// One exchange that waits for the answer of a silent reader (one read, the
// longest single wait of the exchange on that link).
struct SilentResult {
  bool ok = false;
  std::string error;
  uint64_t wallUs = 0;
  uint64_t cpuUs = 0;
};
SilentResult MeasureSilentWait(Transport transport);

// The command line updating the reader over TCP with one module of
// `commands` block commands, with the real clock. The reader starts in its
// application, so the run includes bootloader entry and the reboot.
struct CliRunResult {
  bool ok = false;
  std::string error;
  int exitStatus = -1;
  int commands = 0;
  uint64_t wallUs = 0;      // start to end of the process
  uint64_t transferUs = 0;  // first to last progress report
  uint64_t cpuUs = 0;
  uint64_t peakRssKb = 0;
};
CliRunResult MeasureCommandLineRun(int commands);

// The command line trying to update a reader that accepts the TCP connection
// and never answers, until its --timeout of `seconds` makes it give up; the
// CPU time is that of the whole process.
SilentResult MeasureCommandLineSilent(int seconds);

}  // namespace orvane::bench
