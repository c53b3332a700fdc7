// Reading module files of 16 MB: the time of one parse or chunk load, and the
// heap it needed at its peak compared with the file's size (goal: well under
// 100 ms, at most about twice the file).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "firmware/firmware_file.h"
#include "firmware/module_writer.h"
#include "heap_meter.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {


// Runs `load` once per iteration and reports the peak heap above what was
// held before it, as bytes and as a multiple of the file's size.
template <typename Load>
void MeasureLoads(benchmark::State& state, uint64_t fileSize, Load load) {
  size_t worst = 0;
  FirmwareFile file;
  for (auto _ : state) {
    state.PauseTiming();
    file.ClearSections();  // so no earlier pieces are counted
    size_t before = bench::HeapBytesNow();
    bench::ResetHeapPeak();
    state.ResumeTiming();

    if (!load(file)) {
      state.SkipWithError("the module was refused");
      return;
    }

    state.PauseTiming();
    worst = std::max(worst, bench::HeapBytesPeak() - before);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fileSize));
  state.counters["file_MB"] = static_cast<double>(fileSize) / 1e6;
  state.counters["peak_heap_MB"] = static_cast<double>(worst) / 1e6;
  state.counters["peak_per_file_byte"] = static_cast<double>(worst) / static_cast<double>(fileSize);
}

// A module of 16 MiB in blocks of `range(0)` bytes.
void BM_ParseModuleFile16MB(benchmark::State& state) {
  test::TempDir folder;
  ModuleSpec spec;
  spec.infoText = "Benchmark module";
  spec.blockSize = static_cast<uint16_t>(state.range(0));
  spec.blockCount = static_cast<uint16_t>(std::min<int64_t>((16 << 20) / state.range(0), 0xFFFF));
  const std::string path = folder.File("big.fm");
  if (!WriteModuleFile(path, spec)) {
    state.SkipWithError("cannot write the module file");
    return;
  }
  const uint64_t size = std::filesystem::file_size(path);
  MeasureLoads(state, size, [&](FirmwareFile& file) { return file.ParseModuleFile(path) == ParseResult::Ok; });
}
BENCHMARK(BM_ParseModuleFile16MB)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_LoadRawChunks16MB(benchmark::State& state) {
  test::TempDir folder;
  const std::string path = folder.File("app_big.fm");
  if (!WriteRawModuleFile(path, 16u << 20)) {
    state.SkipWithError("cannot write the raw file");
    return;
  }
  MeasureLoads(state, 16u << 20, [&](FirmwareFile& file) { return file.LoadRawChunks(path); });
}
BENCHMARK(BM_LoadRawChunks16MB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane

BENCHMARK_MAIN();
