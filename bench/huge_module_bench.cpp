// Module files far too large to send, as the file list and `inspect` meet
// them: a 4 GB application module (65535 blocks of 65535 bytes, a sparse file
// whose header adds up) parsed, and an application folder holding a 1 GB one
// listed. Goals: `inspect` under 50 ms and 20 MB, `list` under 100 ms, both
// measured on the command line as a whole process; the parser and the
// discovery are also measured alone, with their peak heap.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/child_process.h"
#include "firmware/firmware_file.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"
#include "heap_meter.h"
#include "process_meter.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

// Writes the front of a module whose header declares `blockCount` blocks of
// `blockSize` bytes and makes the file as long as the header says, without
// writing the body: the rest is a hole of the file system.
bool WriteSparseModule(const std::string& path, uint16_t blockSize, uint16_t blockCount) {
  ModuleSpec spec;
  spec.infoText = "Huge";
  spec.preambleLength = 64;
  spec.blockSize = 16;
  spec.blockCount = 1;
  spec.blockSizeField = blockSize;
  spec.blockCountField = blockCount;
  if (!WriteModuleFile(path, spec)) return false;
  const uint64_t length =
      kModuleHeaderLength + 64 + uint64_t{blockSize} * blockCount + static_cast<uint64_t>(spec.trailer.size());
  std::error_code ec;
  std::filesystem::resize_file(path, length, ec);
  return !ec;
}

// A program folder whose application folder holds a 1 GB module and one
// ordinary module; the other two folders hold one small file each.
bool MakeProgramFolder(const test::TempDir& folder) {
  for (const char* sub : {kAppFolderName, kKernelFolderName, kUniAppFolderName}) {
    if (::mkdir(folder.File(sub).c_str(), 0755) != 0) return false;
  }
  ModuleSpec ordinary;
  ordinary.infoText = "Ordinary";
  const std::string app = folder.File(kAppFolderName) + "/";
  return WriteSparseModule(app + "huge.fm", 16384, 65535) && WriteModuleFile(app + "ordinary.fm", ordinary) &&
         WriteRawModuleFile(folder.File(kKernelFolderName) + "/app_ct_l2.fm", 5000) &&
         WriteRawModuleFile(folder.File(kUniAppFolderName) + "/uniapp.fm", 5000);
}

// One run of the command line; its wall time in seconds and its peak RSS.
bool RunCommandLine(const std::vector<std::string>& args, double& seconds, double& peakMb) {
  std::vector<std::string> argv = {ORVANE_CLI_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  const uint64_t start = bench::WallUs();
  test::BackgroundProcess child(test::ProcessSpec::Of(argv, true));
  const test::ProcessResult run = child.Wait(std::chrono::minutes(10));
  seconds = static_cast<double>(bench::WallUs() - start) / 1e6;
  peakMb = std::max(peakMb, static_cast<double>(run.usage.ru_maxrss) / 1024.0);
  return run.exitCode == 0;
}

void CommandLine(benchmark::State& state, const std::vector<std::string>& args) {
  double peakMb = 0;
  for (auto _ : state) {
    double seconds = 0;
    if (!RunCommandLine(args, seconds, peakMb)) {
      state.SkipWithError("the command line failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["peak_rss_MB"] = peakMb;
}

void BM_InspectHuge4GB(benchmark::State& state) {
  test::TempDir folder;
  const std::string path = folder.File("huge.fm");
  if (!WriteSparseModule(path, 65535, 65535)) {
    state.SkipWithError("cannot make the sparse file");
    return;
  }
  CommandLine(state, {"inspect", path});
}
BENCHMARK(BM_InspectHuge4GB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ListWith1GBModule(benchmark::State& state) {
  test::TempDir folder;
  if (!MakeProgramFolder(folder)) {
    state.SkipWithError("cannot make the program folder");
    return;
  }
  CommandLine(state, {"list", "--folder", folder.path()});
}
BENCHMARK(BM_ListWith1GBModule)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The parser alone on the 4 GB file, as the update meets it.
void BM_ParseHuge4GB(benchmark::State& state) {
  test::TempDir folder;
  const std::string path = folder.File("huge.fm");
  if (!WriteSparseModule(path, 65535, 65535)) {
    state.SkipWithError("cannot make the sparse file");
    return;
  }
  FirmwareFile file;
  size_t worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    file.ClearSections();
    const size_t before = bench::HeapBytesNow();
    bench::ResetHeapPeak();
    state.ResumeTiming();
    if (file.ParseModuleFile(path) != ParseResult::Ok) {
      state.SkipWithError("the module was refused");
      return;
    }
    state.PauseTiming();
    worst = std::max(worst, bench::HeapBytesPeak() - before);
    state.ResumeTiming();
  }
  state.counters["peak_heap_MB"] = static_cast<double>(worst) / 1e6;
}
BENCHMARK(BM_ParseHuge4GB)->Unit(benchmark::kMillisecond);

class CountingSink : public ModuleRowSink {
 public:
  void InsertRow(int, const std::string&, const std::string&) override { ++rows; }
  int rows = 0;
};

// The desktop program's search at start-up, on the folder with the 1 GB file.
void BM_DiscoveryWith1GBModule(benchmark::State& state) {
  test::TempDir folder;
  if (!MakeProgramFolder(folder)) {
    state.SkipWithError("cannot make the program folder");
    return;
  }
  size_t worst = 0;
  for (auto _ : state) {
    const size_t before = bench::HeapBytesNow();
    bench::ResetHeapPeak();
    ModuleLists lists;
    FirmwareFile file;
    CountingSink sink;
    lists.InitFirmwareFolders(folder.path(), file, sink);
    if (sink.rows != 4) {
      state.SkipWithError("files were missed");
      return;
    }
    worst = std::max(worst, bench::HeapBytesPeak() - before);
  }
  state.counters["peak_heap_MB"] = static_cast<double>(worst) / 1e6;
}
BENCHMARK(BM_DiscoveryWith1GBModule)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane

BENCHMARK_MAIN();
