// Reading modules the way an update and the file list do: parsing a 2 MB
// application module and queueing its blocks (goal: under 20 ms), and
// listing an application folder of 5,000 module files (goal: under 1 s).

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <string>

#include "app/bootload_settings.h"
#include "bootload/transport_bundle.h"
#include "firmware/firmware_file.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"
#include "heap_meter.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"

namespace orvane {
namespace {

// A ReaderChannel that is never connected: queueing only frames the blocks.
struct IdleChannel {
  BootloadSettings settings;
  FakeHidBackend backend;
  TransportBundle transports{settings, backend};
};

// ParseModuleFile plus QueueBootloadBlocks of a 2 MB module (2048 blocks of
// 1024 bytes would be 2051 commands, more than a queue may hold; 2045 blocks
// and the three other sections make the largest queue there is).
void BM_ParseAndQueue2MB(benchmark::State& state) {
  const auto framing = static_cast<FrameProtocol>(state.range(0));
  test::TempDir folder;
  ModuleSpec spec;
  spec.infoText = "Benchmark module";
  spec.blockSize = 1024;
  spec.blockCount = static_cast<uint16_t>(kMaxQueueLength - 3);
  const std::string path = folder.File("big.fm");
  if (!WriteModuleFile(path, spec)) {
    state.SkipWithError("cannot write the module file");
    return;
  }
  IdleChannel idle;
  idle.transports.channel().setFrameProtocol(framing);
  FirmwareFile file;
  size_t worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    file.ClearSections();
    size_t before = bench::HeapBytesNow();
    bench::ResetHeapPeak();
    state.ResumeTiming();

    int count = 0;
    if (file.ParseModuleFile(path) != ParseResult::Ok || !idle.transports.channel().QueueBootloadBlocks(file.sections, count)) {
      state.SkipWithError("the module was refused");
      return;
    }
    benchmark::DoNotOptimize(idle.transports.channel().Queue().data());

    state.PauseTiming();
    worst = std::max(worst, bench::HeapBytesPeak() - before);
    state.ResumeTiming();
  }
  state.counters["commands"] = static_cast<double>(idle.transports.channel().QueueLength());
  state.counters["peak_heap_MB"] = static_cast<double>(worst) / 1e6;
  state.SetLabel(framing == FrameProtocol::Header ? "header" : "stx");
}
BENCHMARK(BM_ParseAndQueue2MB)
    ->Arg(static_cast<int>(FrameProtocol::Header))
    ->Arg(static_cast<int>(FrameProtocol::Stx))
    ->Unit(benchmark::kMillisecond);

class CountingSink : public ModuleRowSink {
 public:
  void InsertRow(int, const std::string&, const std::string&) override { ++rows; }
  int rows = 0;
};

// The three folders of a program folder: `range(0)` module files in the
// application folder (small ones: the parser reads every file whole), as many
// in the kernel folder (listed by name only), one in the UniApp folder.
void BM_Discovery(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  test::TempDir folder;
  for (const char* sub : {kAppFolderName, kKernelFolderName, kUniAppFolderName}) {
    ::mkdir(folder.File(sub).c_str(), 0755);
  }
  // One UniApp file, so that the third search finds something too.
  if (!WriteBytesToFile(folder.File(std::string(kUniAppFolderName) + "/uniapp.fm"), {0x00})) {
    state.SkipWithError("cannot write the module files");
    return;
  }
  ModuleSpec spec;
  spec.blockSize = 256;
  spec.blockCount = 4;
  for (int i = 0; i < files; ++i) {
    spec.infoText = "Module " + std::to_string(i);
    const std::string name = "module_" + std::to_string(i) + ".fm";
    if (!WriteModuleFile(folder.File(std::string(kAppFolderName) + "/" + name), spec) ||
        !WriteBytesToFile(folder.File(std::string(kKernelFolderName) + "/app_ct_l2_" + name), {0x00})) {
      state.SkipWithError("cannot write the module files");
      return;
    }
  }
  for (auto _ : state) {
    ModuleLists lists;
    FirmwareFile file;
    CountingSink sink;
    lists.InitFirmwareFolders(folder.path(), file, sink);
    if (sink.rows != 2 * files + 1) {
      state.SkipWithError("files were missed");
      return;
    }
  }
  state.counters["files"] = 2.0 * files + 1;
}
BENCHMARK(BM_Discovery)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace orvane

BENCHMARK_MAIN();
