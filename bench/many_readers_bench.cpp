// The many-reader benchmark: simulated readers over TCP and over
// pseudo-terminals (8 and 4 by default), each first updated alone with the
// ordinary single run of the command line, then all at once with one
// `update --reader ...` run; the same application module every time, readers
// starting in their application, real clock, log on. Compares the run's wall
// time, the program's CPU time per block command and its memory with the
// single runs', and says where the memory goes.
//
//   bench_many_readers [--tcp N] [--pty N] [--baud B] [--blocks N] [--parallel N]
//                      [--no-alone] [--no-many] [--markdown FILE]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "process_meter.h"
#include "process_tree_meter.h"
#include "program_folder.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace orvane::bench {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

constexpr milliseconds kSampleInterval{20};
// Gives up on a reader that is not found; the simulated ones are there at once.
constexpr int kFindSeconds = 60;

struct Options {
  int tcp = 8;
  int pty = 4;
  uint32_t baud = 921600;
  int blocks = 1024;
  int parallel = 0;  // 0: the command's default, all at once
  bool alone = true;
  bool many = true;
  std::string markdown;
};

struct Reader {
  bool serial = false;
  std::string where;  // the TCP port, or the terminal's path

  std::string Spec() const { return serial ? "serial:" + where : "tcp:127.0.0.1:" + where; }
};

// The simulated readers: one orvane-reader-sim serving all TCP readers, one
// serving all pseudo-terminals.
class SimReaders {
 public:
  bool Start(const Options& o, std::string& error) {
    if (o.tcp > 0 && !StartOne({"--tcp-listen", "0"}, o.tcp, "READY tcp port=", tcp_, false, error)) return false;
    if (o.pty > 0 && !StartOne({"--pty", "--baud", std::to_string(o.baud)}, o.pty, "READY pty path=", pty_, true, error))
      return false;
    return true;
  }
  const std::vector<Reader>& readers() const { return readers_; }

  // Why the simulated readers are no longer there (a run against them then
  // says nothing about the program); empty while they all run.
  std::string Gone() {
    std::string why;
    for (auto* process : {&tcp_, &pty_}) {
      if (!*process || Running((*process)->pid())) continue;
      const test::ProcessResult end = (*process)->Wait(seconds(1));
      why += std::string(why.empty() ? "" : "; ") + "the simulated readers (" + (process == &tcp_ ? "TCP" : "pty") +
             ") ended " +
             (end.signal ? "by signal " + std::to_string(end.signal) : "with status " + std::to_string(end.exitCode));
      process->reset();
    }
    return why;
  }

 private:
  static bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    // The name is in brackets and has no blank for this program.
    return stat >> pidText >> name >> state && state != "Z" && state != "X";
  }

  bool StartOne(std::vector<std::string> args, int count, const std::string& prefix,
                std::optional<test::BackgroundProcess>& process, bool serial, std::string& error) {
    args.insert(args.begin(), ORVANE_READER_SIM_EXE);
    args.insert(args.end(), {"--count", std::to_string(count)});
    process.emplace(test::ProcessSpec::Of(args, true));
    for (int i = 0; i < count; ++i) {
      const auto line = process->ReadLine(seconds(10));
      if (!line || line->rfind(prefix, 0) != 0) {
        error = "the simulated readers did not get ready";
        return false;
      }
      const std::string rest = line->substr(prefix.size());
      readers_.push_back({serial, rest.substr(0, rest.find(' '))});
    }
    return true;
  }

  std::optional<test::BackgroundProcess> tcp_;
  std::optional<test::BackgroundProcess> pty_;
  std::vector<Reader> readers_;
};

struct CliRun {
  bool ended = false;
  int exitCode = -1;
  uint64_t wallUs = 0;
  uint64_t cpuUs = 0;     // the process and every child it waited for
  uint64_t maxRssKb = 0;  // the largest single process's peak (wait4)
  std::vector<ProcessPeak> peaks;
  int mostAlive = 0;
  nlohmann::json summary;  // the run's own final summary object
  std::string error;

  uint64_t SumOfPeaksKb() const {
    uint64_t sum = 0;
    for (const ProcessPeak& p : peaks) sum += p.hwmKb;
    return sum;
  }
  uint64_t SumOfPssPeaksKb() const {
    uint64_t sum = 0;
    for (const ProcessPeak& p : peaks) sum += p.pssKb;
    return sum;
  }
};

CliRun RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {ORVANE_CLI_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  CliRun run;
  const uint64_t start = WallUs();
  // Standard error is kept (the empty kernel and UniApp folders are reported
  // there on every run) and shown only when the run fails.
  test::BackgroundProcess cli(test::ProcessSpec::Of(argv, false));
  if (!cli.Started()) {
    run.error = "cannot start the command line";
    return run;
  }
  ProcessTreeMeter meter(cli.pid(), kSampleInterval);
  while (auto line = cli.ReadLine(minutes(5))) {
    if (line->find("\"summary\"") == std::string::npos) continue;
    auto object = nlohmann::json::parse(*line, nullptr, false);
    // A reader's own summary, passed on with its "reader", is not the run's.
    if (object.is_object() && object.value("event", "") == "summary" && !object.contains("reader")) run.summary = object;
  }
  const test::ProcessResult result = cli.Wait(minutes(5));
  run.wallUs = WallUs() - start;
  run.peaks = meter.Stop();
  run.mostAlive = meter.MostAlive();
  run.ended = !result.killedAtLimit;
  run.exitCode = result.exitCode;
  run.cpuUs = CpuUs(result.usage);
  run.maxRssKb = static_cast<uint64_t>(result.usage.ru_maxrss);
  if (!run.ended) run.error = "killed after 5 minutes";
  else if (run.exitCode != 0) run.error = "exit status " + std::to_string(run.exitCode);
  if (!run.error.empty()) std::fputs(result.err.c_str(), stderr);
  return run;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double Mb(uint64_t kb) { return static_cast<double>(kb) / 1024.0; }

struct AloneRun {
  Reader reader;
  CliRun run;
};

std::vector<AloneRun> RunAlone(const Options& o, std::string& error) {
  std::vector<AloneRun> runs;
  SimReaders sims;
  test::TempDir folder;
  if (!sims.Start(o, error)) return runs;
  if (!WriteProgramFolder(folder, {"0", o.baud, o.blocks + 3})) {
    error = "cannot write the program folder";
    return runs;
  }
  for (const Reader& reader : sims.readers()) {
    // The ordinary single run: the configured TCP address, or the serial port named.
    std::vector<std::string> args = {"--folder", folder.path(), "--yes", "--json", "--timeout",
                                     std::to_string(kFindSeconds)};
    if (reader.serial) {
      args.insert(args.end(), {"--port", reader.where});
    } else {
      WriteConfiguration(folder, {reader.where, o.baud, o.blocks + 3});
      args.insert(args.end(), {"--interface", "tcp"});
    }
    args.insert(args.end(), {"update", "--all"});
    std::fprintf(stderr, "alone: %s ...\n", reader.Spec().c_str());
    runs.push_back({reader, RunCli(args)});
    CliRun& run = runs.back().run;
    if (const std::string gone = sims.Gone(); !gone.empty()) run.error += (run.error.empty() ? "" : "; ") + gone;
    std::fprintf(stderr, "  %s, %.1f s, CPU %.2f s, peak %.1f MB\n", run.error.empty() ? "ok" : run.error.c_str(),
                 static_cast<double>(run.wallUs) / 1e6, static_cast<double>(run.cpuUs) / 1e6, Mb(run.maxRssKb));
  }
  return runs;
}

std::optional<CliRun> RunMany(const Options& o, std::vector<Reader>& readers, std::string& error) {
  SimReaders sims;
  test::TempDir folder;
  if (!sims.Start(o, error)) return std::nullopt;
  if (!WriteProgramFolder(folder, {"0", o.baud, o.blocks + 3})) {
    error = "cannot write the program folder";
    return std::nullopt;
  }
  readers = sims.readers();
  std::vector<std::string> args = {"--folder", folder.path(), "--yes", "--json", "--timeout",
                                   std::to_string(kFindSeconds), "update", "--all"};
  for (const Reader& reader : readers) args.insert(args.end(), {"--reader", reader.Spec()});
  if (o.parallel > 0) args.insert(args.end(), {"--parallel", std::to_string(o.parallel)});
  std::fprintf(stderr, "all %zu at once ...\n", readers.size());
  CliRun run = RunCli(args);
  if (const std::string gone = sims.Gone(); !gone.empty()) run.error += (run.error.empty() ? "" : "; ") + gone;
  std::fprintf(stderr, "  %s, %.1f s, CPU %.2f s, sum of peaks %.1f MB\n",
               run.error.empty() ? "ok" : run.error.c_str(), static_cast<double>(run.wallUs) / 1e6,
               static_cast<double>(run.cpuUs) / 1e6, Mb(run.SumOfPeaksKb()));
  return run;
}

// ---- the tables ----

struct AloneFigures {
  int runs = 0, failed = 0;
  uint64_t slowestUs = 0, cpuUs = 0, commands = 0, peakKb = 0;
  uint64_t worstSampleGapKb = 0;  // how far the /proc samples fell short of wait4's peak
};

AloneFigures Summarise(const std::vector<AloneRun>& runs, int commands, std::optional<bool> serial) {
  AloneFigures f;
  for (const AloneRun& r : runs) {
    if (serial && r.reader.serial != *serial) continue;
    if (!r.run.error.empty()) {
      ++f.failed;
      continue;
    }
    ++f.runs;
    f.slowestUs = std::max(f.slowestUs, r.run.wallUs);
    f.cpuUs += r.run.cpuUs;
    f.commands += static_cast<uint64_t>(commands);
    f.peakKb = std::max(f.peakKb, r.run.maxRssKb);
    const uint64_t sampled = r.run.SumOfPeaksKb();
    if (sampled < r.run.maxRssKb) f.worstSampleGapKb = std::max(f.worstSampleGapKb, r.run.maxRssKb - sampled);
  }
  return f;
}

double CpuMsPerCommand(uint64_t cpuUs, uint64_t commands) {
  return commands ? static_cast<double>(cpuUs) / 1000.0 / static_cast<double>(commands) : 0;
}

std::string Check(double ratio, double goal) { return ratio <= goal ? " ✓" : " ✗"; }

std::string Tables(const Options& o, const std::vector<AloneRun>& alone, const std::optional<CliRun>& many,
                   const std::vector<Reader>& readers, const std::string& manyError) {
  const int commands = o.blocks + 3;
  const size_t count = static_cast<size_t>(o.tcp + o.pty);
  std::ostringstream md;
  md << o.tcp << " simulated readers over TCP (loopback) and " << o.pty << " over pseudo-terminals at " << o.baud
     << " baud (the simulated reader paces the line at 10 bits per byte; a fast line keeps the run short and makes "
        "the program's own cost show), each starting in its application and updated with one "
     << o.blocks << "-block application module (" << commands
     << " block commands), real clock, log on, one run of each. First every reader alone with the ordinary single "
        "run (`update --all`, `--interface tcp` or `--port DEVICE`), then all "
     << count << " at once with `update --all --reader SPEC` ×" << count
     << (o.parallel > 0 ? " --parallel " + std::to_string(o.parallel) : std::string())
     << ". CPU is that of the whole program: the process and the children it waited for (wait4).\n\n";

  const AloneFigures all = Summarise(alone, commands, std::nullopt);
  md << "| Run | Readers | Wall s (slowest) | Program CPU ms per block command | Peak RSS MB (largest process) |\n"
        "|---|---:|---:|---:|---:|\n";
  for (bool serial : {false, true}) {
    const AloneFigures f = Summarise(alone, commands, serial);
    if (f.runs + f.failed == 0) continue;
    md << "| Each alone, " << (serial ? "pty " + std::to_string(o.baud) : std::string("TCP")) << " | " << f.runs
       << (f.failed ? " (" + std::to_string(f.failed) + " failed)" : std::string()) << " | "
       << Fixed(static_cast<double>(f.slowestUs) / 1e6, 1) << " | " << Fixed(CpuMsPerCommand(f.cpuUs, f.commands), 3)
       << " | " << Fixed(Mb(f.peakKb), 1) << " |\n";
  }
  if (many && many->error.empty()) {
    md << "| All at once | " << count << " | " << Fixed(static_cast<double>(many->wallUs) / 1e6, 1) << " | "
       << Fixed(CpuMsPerCommand(many->cpuUs, count * static_cast<uint64_t>(commands)), 3) << " | "
       << Fixed(Mb(many->maxRssKb), 1) << " |\n";
  }
  md << "\n";
  if (!manyError.empty() || (many && !many->error.empty())) {
    md << "**All at once: failed** (" << (manyError.empty() ? many->error : manyError) << ").\n";
    return md.str();
  }
  if (!many || all.runs == 0) return md.str();

  const double slowest = static_cast<double>(all.slowestUs) / 1e6;
  const double wall = static_cast<double>(many->wallUs) / 1e6;
  const double cpuAlone = CpuMsPerCommand(all.cpuUs, all.commands);
  const double cpuMany = CpuMsPerCommand(many->cpuUs, count * static_cast<uint64_t>(commands));
  const double memAlone = Mb(all.peakKb) * static_cast<double>(count);
  const double memMany = Mb(many->SumOfPeaksKb());
  md << "| Figure | Alone | All at once | Ratio | Goal |\n|---|---:|---:|---:|---:|\n";
  md << "| Wall time s (alone: the slowest reader) | " << Fixed(slowest, 1) << " | " << Fixed(wall, 1) << " | "
     << Fixed(wall / slowest, 2) << Check(wall / slowest, 1.2) << " | ≤ 1.20 |\n";
  md << "| Program CPU ms per block command (alone: all single runs together) | " << Fixed(cpuAlone, 3) << " | "
     << Fixed(cpuMany, 3) << " | " << Fixed(cpuMany / cpuAlone, 2) << Check(cpuMany / cpuAlone, 1.5)
     << " | ≤ 1.50 |\n";
  md << "| Peak memory MB (alone: the largest single run × " << count << "; at once: sum of every process's peak) | "
     << Fixed(memAlone, 1) << " | " << Fixed(memMany, 1) << " | " << Fixed(memMany / memAlone, 2)
     << Check(memMany / memAlone, 1.0) << " | ≤ 1.00 |\n";
  // The same with the pages that processes share counted once.
  uint64_t singlePss = 0;
  for (const AloneRun& r : alone) {
    if (r.run.error.empty()) singlePss = std::max(singlePss, r.run.SumOfPssPeaksKb());
  }
  const double pssAlone = Mb(singlePss) * static_cast<double>(count);
  const double pssMany = Mb(many->SumOfPssPeaksKb());
  md << "| Peak memory MB with shared pages counted once (PSS; alone: the largest single run × " << count
     << "; at once: sum over the processes) | " << Fixed(pssAlone, 1) << " | " << Fixed(pssMany, 1) << " | "
     << Fixed(pssMany / pssAlone, 2) << " | |\n\n";

  // Where the memory goes: the coordinating process and the per-reader runs.
  std::vector<const ProcessPeak*> children;
  const ProcessPeak* root = nullptr;
  for (const ProcessPeak& p : many->peaks) {
    if (p.root) root = &p;
    else if (p.hwmKb > 0) children.push_back(&p);
  }
  auto row = [&](const std::string& what, const std::vector<const ProcessPeak*>& ps) {
    if (ps.empty()) return;
    uint64_t lo = UINT64_MAX, hi = 0, sum = 0, anon = 0, file = 0, pss = 0;
    int threads = 0;
    for (const ProcessPeak* p : ps) {
      lo = std::min(lo, p->hwmKb);
      hi = std::max(hi, p->hwmKb);
      sum += p->hwmKb;
      anon += p->anonKb;
      file += p->fileKb;
      pss += p->pssKb;
      threads = std::max(threads, p->threads);
    }
    const double n = static_cast<double>(ps.size());
    md << "| " << what << " | " << ps.size() << " | " << Fixed(Mb(lo), 1);
    if (hi != lo) md << "–" << Fixed(Mb(hi), 1);
    md << " | " << Fixed(Mb(sum), 1) << " | " << Fixed(Mb(anon) / n, 1) << " | " << Fixed(Mb(file) / n, 1) << " | "
       << Fixed(Mb(pss), 1) << " | " << threads << " |\n";
  };
  md << "Where the memory goes (all at once; every process's figures sampled from /proc every "
     << kSampleInterval.count() << " ms):\n\n";
  md << "| Process | Count | Peak RSS MB each | Sum MB | Private (heap, stacks) MB each | Mapped files MB each | "
        "Sum of peak PSS MB | Threads (most) |\n|---|---:|---:|---:|---:|---:|---:|---:|\n";
  // The single run with the largest peak, for comparison with one child.
  const ProcessPeak* single = nullptr;
  for (const AloneRun& r : alone) {
    for (const ProcessPeak& p : r.run.peaks) {
      if (p.root && r.run.error.empty() && (!single || p.hwmKb > single->hwmKb)) single = &p;
    }
  }
  if (single) row("A single run, alone (the largest)", {single});
  if (root) row("The coordinating process", {root});
  row("One reader's run (child)", children);
  md << "\nPrivate and mapped-file figures are each process's at its largest resident set, on average. The mapped "
        "files (the program and its libraries) are the same pages in every process and the machine holds them once, "
        "so the sum of RSS peaks overstates what the run really takes by about that much per child; PSS divides shared pages among the processes that map them. At most "
     << many->mostAlive << " of the run's processes were alive at once";
  if (children.size() != readers.size()) md << " (" << children.size() << " children seen for " << readers.size() << " readers)";
  md << ". In the single runs the /proc samples came within " << Fixed(Mb(all.worstSampleGapKb), 1)
     << " MB of the exact peak that wait4 reports.\n";

  // Every reader's outcome, as the run's summary gives it.
  if (many->summary.contains("readers") && many->summary["readers"].is_array()) {
    int good = 0;
    for (const auto& r : many->summary["readers"]) {
      if (r.value("exit", -1) == 0) ++good;
    }
    md << "\nThe run's summary: " << good << " of " << many->summary["readers"].size()
       << " readers updated, exit status " << many->summary.value("exit", -1) << ".\n";
  }
  return md.str();
}

int Usage() {
  std::fputs(
      "Usage: bench_many_readers [--tcp N] [--pty N] [--baud B] [--blocks N] [--parallel N]\n"
      "                          [--no-alone] [--no-many] [--markdown FILE]\n",
      stderr);
  return 2;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto number = [&](int lo, int hi) { return std::clamp(std::atoi(argv[++i]), lo, hi); };
    if (arg == "--tcp" && hasValue) o.tcp = number(0, 32);
    else if (arg == "--pty" && hasValue) o.pty = number(0, 32);
    else if (arg == "--baud" && hasValue) o.baud = static_cast<uint32_t>(number(9600, 4'000'000));
    else if (arg == "--blocks" && hasValue) o.blocks = number(1, 2045);
    else if (arg == "--parallel" && hasValue) o.parallel = number(1, 64);
    else if (arg == "--no-alone") o.alone = false;
    else if (arg == "--no-many") o.many = false;
    else if (arg == "--markdown" && hasValue) o.markdown = argv[++i];
    else return false;
  }
  return o.tcp + o.pty > 0;
}

}  // namespace
}  // namespace orvane::bench

int main(int argc, char** argv) {
  using namespace orvane::bench;
  Options o;
  if (!ParseOptions(argc, argv, o)) return Usage();
  std::string error;
  std::vector<AloneRun> alone;
  if (o.alone) {
    alone = RunAlone(o, error);
    if (!error.empty()) std::fprintf(stderr, "bench_many_readers: %s\n", error.c_str());
  }
  std::optional<CliRun> many;
  std::vector<Reader> readers;
  std::string manyError;
  if (o.many) many = RunMany(o, readers, manyError);
  const std::string md = Tables(o, alone, many, readers, manyError);
  std::fputs(md.c_str(), stdout);
  if (!o.markdown.empty()) {
    std::ofstream out(o.markdown);
    out << md;
    if (!out) {
      std::fprintf(stderr, "bench_many_readers: cannot write %s\n", o.markdown.c_str());
      return 1;
    }
  }
  return 0;
}
