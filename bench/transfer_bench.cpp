// The transfer benchmark: loads a 1 MB application module (1024 blocks of
// 1024 bytes) into the simulated reader over every link and compares the
// time per block command with the least the protocol allows (the floor);
// measures the program's CPU time while a silent reader keeps it waiting;
// and runs the command line through a whole 2048-command update to see its
// peak memory. Each measurement runs in a process of its own.
//
//   bench_transfer [--links tcp,tls,pty115200,pty921600,hid] [--repeat N]
//                  [--blocks N] [--no-silent] [--no-cli] [--markdown FILE]

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_meter.h"
#include "support/child_process.h"
#include "transfer_measure.h"

namespace orvane::bench {
namespace {

constexpr int kDefaultBlocks = 1024;
constexpr int kCliCommands = 2048;
constexpr int kCliSilentSeconds = 20;
constexpr uint64_t kProbeSleepMs = 10;

using Fields = std::map<std::string, std::string>;

// ---- one measurement, in a child process ----

void PrintFields(const Fields& fields) {
  std::string line = "RESULT";
  for (const auto& [key, value] : fields) {
    std::string v = value;
    std::replace(v.begin(), v.end(), ' ', '_');
    line += " " + key + "=" + v;
  }
  std::puts(line.c_str());
  std::fflush(stdout);
}

int RunOne(const std::string& kind, const std::string& link, int blocks) {
  Fields f;
  if (kind == "cli") {
    CliRunResult r = MeasureCommandLineRun(kCliCommands);
    f = {{"ok", r.ok ? "1" : "0"},
         {"error", r.error},
         {"commands", std::to_string(r.commands)},
         {"wall_us", std::to_string(r.wallUs)},
         {"transfer_us", std::to_string(r.transferUs)},
         {"cpu_us", std::to_string(r.cpuUs)},
         {"rss_kb", std::to_string(r.peakRssKb)}};
    PrintFields(f);
    return r.ok ? 0 : 1;
  }
  if (kind == "cli-silent") {
    SilentResult r = MeasureCommandLineSilent(kCliSilentSeconds);
    f = {{"ok", r.ok ? "1" : "0"},
         {"error", r.error},
         {"wall_us", std::to_string(r.wallUs)},
         {"cpu_us", std::to_string(r.cpuUs)}};
    PrintFields(f);
    return r.ok ? 0 : 1;
  }
  const TransportSpec* spec = FindTransport(link);
  if (!spec) {
    std::fprintf(stderr, "bench_transfer: unknown link %s\n", link.c_str());
    return 2;
  }
  if (kind == "silent") {
    SilentResult r = MeasureSilentWait(spec->transport);
    f = {{"ok", r.ok ? "1" : "0"},
         {"error", r.error},
         {"wall_us", std::to_string(r.wallUs)},
         {"cpu_us", std::to_string(r.cpuUs)}};
  } else {
    TransferResult r = MeasureTransfer(spec->transport, blocks);
    f = {{"ok", r.ok ? "1" : "0"},
         {"error", r.error},
         {"commands", std::to_string(r.commands)},
         {"wall_us", std::to_string(r.wallUs)},
         {"cpu_us", std::to_string(r.cpuUs)},
         {"cpu_scope", r.cpuOfThread ? "thread" : "process"},
         {"floor_us", std::to_string(r.floorUs)},
         {"overlap_floor_us", std::to_string(r.overlapFloorUs)},
         {"wakeups", std::to_string(r.wakeups)},
         {"rss_kb", std::to_string(r.peakRssKb)}};
  }
  PrintFields(f);
  return f["ok"] == "1" ? 0 : 1;
}

// ---- the whole benchmark ----

std::string SelfPath() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// Runs one measurement in a child process. Meanwhile this process sleeps
// 10 ms at a time and notes how much longer each sleep took than asked: the
// machine's wake-up latency during the run (field "latency_us"), which every
// pause of the program pays as well.
std::optional<Fields> RunChild(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {SelfPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  test::BackgroundProcess child(test::ProcessSpec::Of(argv, true));
  if (!child.Started()) return std::nullopt;
  std::optional<Fields> fields;
  uint64_t lateUs = 0;
  uint64_t sleeps = 0;
  const uint64_t deadline = WallUs() + 20ull * 60 * 1'000'000;
  while (!child.OutputEnded() && WallUs() < deadline) {
    const uint64_t before = WallUs();
    std::this_thread::sleep_for(std::chrono::milliseconds(kProbeSleepMs));
    lateUs += WallUs() - before - kProbeSleepMs * 1000;
    ++sleeps;
    while (auto line = child.ReadLine(std::chrono::milliseconds(0))) {
      if (line->rfind("RESULT ", 0) != 0) continue;
      Fields f;
      std::istringstream in(line->substr(7));
      std::string item;
      while (in >> item) {
        const size_t eq = item.find('=');
        if (eq != std::string::npos) f[item.substr(0, eq)] = item.substr(eq + 1);
      }
      fields = f;
    }
  }
  if (!child.OutputEnded()) child.Signal(SIGTERM);
  child.Wait(std::chrono::minutes(1));
  if (fields && sleeps > 0) (*fields)["latency_us"] = std::to_string(lateUs / sleeps);
  return fields;
}

std::string Text(const Fields& f, const std::string& key) {
  auto it = f.find(key);
  return it == f.end() ? std::string() : it->second;
}

double Number(const Fields& f, const std::string& key) {
  auto it = f.find(key);
  return it == f.end() ? 0.0 : std::atof(it->second.c_str());
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double GoalOf(Transport t) { return t == Transport::Tcp || t == Transport::Tls ? 1.10 : 1.15; }

struct LinkRuns {
  const TransportSpec* spec = nullptr;
  std::vector<Fields> runs;           // successful ones
  std::vector<std::string> failures;  // why the others failed
};

std::string TransferTable(const std::vector<LinkRuns>& links, int blocks, int repeat) {
  std::ostringstream md;
  int commands = blocks + 3;
  md << "Transfer of a " << blocks << "-block application module (" << blocks << " blocks of 1024 bytes: "
     << commands << " block commands with the two preamble halves and the trailer), header framing, real clock. "
     << "Median of " << repeat << " run" << (repeat == 1 ? "" : "s") << " per link"
     << (repeat > 1 ? ", the range of ms per block in brackets" : "") << ".\n\n";
  md << "| Link | Blocks/s | ms per block | Floor ms | Ratio (goal) | Least possible here, ms ¹ | Ratio to it "
        "| Program CPU ms/block | Peak RSS MB |\n";
  md << "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const LinkRuns& link : links) {
    if (link.runs.empty()) {
      md << "| " << link.spec->label << " | failed | | | | | | | |\n";
      continue;
    }
    std::vector<double> perBlock, cpu, rss, latency;
    for (const Fields& f : link.runs) {
      const double n = Number(f, "commands");
      perBlock.push_back(Number(f, "wall_us") / n / 1000.0);
      cpu.push_back(Number(f, "cpu_us") / n / 1000.0);
      rss.push_back(Number(f, "rss_kb") / 1024.0);
      latency.push_back(Number(f, "latency_us") / 1000.0);
    }
    const Transport t = link.spec->transport;
    const double ms = Median(perBlock);
    const double floor = Number(link.runs.front(), "floor_us") / 1000.0;
    const double overlap = Number(link.runs.front(), "overlap_floor_us") / 1000.0;
    const double late = Median(latency);
    const double wakeups = Number(link.runs.front(), "wakeups");
    const double least = overlap + wakeups * late;
    const double ratio = ms / floor;
    const auto [lo, hi] = std::minmax_element(perBlock.begin(), perBlock.end());
    const bool thread = Text(link.runs.front(), "cpu_scope") == "thread";
    md << "| " << link.spec->label << " | " << Fixed(1000.0 / ms, 1) << " | " << Fixed(ms, 2);
    if (link.runs.size() > 1) md << " (" << Fixed(*lo, 2) << "–" << Fixed(*hi, 2) << ")";
    md << " | " << Fixed(floor, 2) << " | " << Fixed(ratio, 3) << " (≤ " << Fixed(GoalOf(t), 2) << ")"
       << (ratio <= GoalOf(t) ? " ✓" : " ✗") << " | " << Fixed(overlap, 2) << " + " << Fixed(wakeups, 1) << "×"
       << Fixed(late, 2) << " = " << Fixed(least, 2) << " | " << Fixed(ms / least, 3) << " | " << Fixed(Median(cpu), 3)
       << (thread ? " ²" : "") << " | " << Fixed(Median(rss), 1) << (thread ? " ²" : "") << " |\n";
  }
  md << "\n¹ The floor where the exchange's 10 ms pause runs while bytes are still on the wire (a serial write "
        "returns once the bytes are queued, so the pause overlaps the request; a HID answer arrives during the "
        "pause), plus the machine's wake-up latency measured during the run (how much longer than asked a 10 ms "
        "sleep took) for each wait that ends in a wake-up: the pause; on a serial line also the silence that ends the "
        "read; on HID also each report's write, which blocks until the report's frame. The simulated line and "
        "endpoint keep time in whole milliseconds, so a ratio can fall a little under 1.\n\n";
  md << "² The HID reader runs inside the benchmark process (the fake HID backend has no other way in): CPU is "
        "that of the sending thread, which includes the simulated device's handling of each report and its wait "
        "for the report's frame (an upper bound); peak RSS includes the simulated reader.\n";
  for (const LinkRuns& link : links) {
    if (link.failures.empty()) continue;
    md << "\n**" << link.spec->label << ": " << link.failures.size() << " of " << repeat
       << " runs failed** (left out of the figures):";
    for (const std::string& why : link.failures) md << " " << why << ";";
    md << "\n";
  }
  return md.str();
}

using SilentRow = std::pair<std::string, std::optional<Fields>>;

std::string SilentTable(const std::vector<SilentRow>& rows) {
  std::ostringstream md;
  md << "\n### A silent reader\n\nOne read of an exchange that never gets its answer (the longest single wait "
        "on each link; a polling exchange repeats it), and the whole command line waiting for a reader that never "
        "answers. A program that waits without polling costs next to nothing here.\n\n";
  md << "| Link | Waited s | Program CPU ms | CPU per second waited |\n|---|---:|---:|---:|\n";
  for (const auto& [label, f] : rows) {
    if (!f || Text(*f, "ok") != "1") {
      md << "| " << label << " | failed" << (f ? ": " + Text(*f, "error") : std::string()) << " | | |\n";
      continue;
    }
    const double wall = Number(*f, "wall_us");
    const double cpu = Number(*f, "cpu_us");
    md << "| " << label << " | " << Fixed(wall / 1e6, 2) << " | " << Fixed(cpu / 1000.0, 2) << " | "
       << Fixed(cpu / wall * 1000.0, 2) << " ms |\n";
  }
  return md.str();
}

std::string CliTable(const std::optional<Fields>& f) {
  std::ostringstream md;
  md << "\n### The command line's peak memory\n\n`orvane-bootload-cli --interface tcp --yes --json update --all` "
        "loading a module of "
     << kCliCommands << " block commands (the most a queue holds) into the simulated reader, real clock, log on, "
        "whole process; the reader starts in its application, so the run includes the bootloader entry and the "
        "reboot:\n\n";
  if (!f || Text(*f, "ok") != "1") {
    md << "failed" << (f ? ": " + Text(*f, "error") : std::string()) << "\n";
    return md.str();
  }
  const double wall = Number(*f, "wall_us") / 1e6;
  const double transfer = Number(*f, "transfer_us") / 1e6;
  md << "| Peak RSS MB | Goal | Whole run s | Transfer s | Entry, reboot and fixed pauses s | CPU s |\n"
        "|---:|---:|---:|---:|---:|---:|\n";
  const double rss = Number(*f, "rss_kb") / 1024.0;
  md << "| " << Fixed(rss, 1) << (rss < 50 ? " ✓" : " ✗") << " | < 50 | " << Fixed(wall, 1) << " | "
     << Fixed(transfer, 1) << " | " << Fixed(wall - transfer, 1) << " | " << Fixed(Number(*f, "cpu_us") / 1e6, 2)
     << " |\n";
  return md.str();
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

int Usage() {
  std::fputs(
      "Usage: bench_transfer [--links tcp,tls,pty115200,pty921600,hid] [--repeat N] [--blocks N]\n"
      "                      [--no-silent] [--no-cli] [--markdown FILE]\n",
      stderr);
  return 2;
}

int RunAll(int argc, char** argv) {
  std::vector<std::string> names;
  for (const TransportSpec& spec : AllTransports()) names.push_back(spec.name);
  int repeat = 1;
  int blocks = kDefaultBlocks;
  bool silent = true;
  bool cli = true;
  std::string markdown;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--links" && hasValue) {
      names = Split(argv[++i]);
    } else if (arg == "--repeat" && hasValue) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--blocks" && hasValue) {
      blocks = std::clamp(std::atoi(argv[++i]), 1, 2045);
    } else if (arg == "--no-silent") {
      silent = false;
    } else if (arg == "--no-cli") {
      cli = false;
    } else if (arg == "--markdown" && hasValue) {
      markdown = argv[++i];
    } else {
      return Usage();
    }
  }

  std::vector<LinkRuns> links;
  for (const std::string& name : names) {
    const TransportSpec* spec = FindTransport(name);
    if (!spec) return Usage();
    links.push_back({spec, {}, {}});
  }
  // Rounds over all links rather than one link at a time, so that a burst of
  // load from elsewhere on the machine does not land on one link's runs only.
  for (int round = 0; round < repeat; ++round) {
    for (LinkRuns& link : links) {
      std::fprintf(stderr, "transfer over %s, run %d of %d ...\n", link.spec->name, round + 1, repeat);
      auto f = RunChild({"--run", "transfer", link.spec->name, "--blocks", std::to_string(blocks)});
      if (f && (*f)["ok"] == "1") {
        link.runs.push_back(*f);
        std::fprintf(stderr, "  %.2f ms per block\n", Number(*f, "wall_us") / Number(*f, "commands") / 1000.0);
      } else {
        std::string why = f ? Text(*f, "error") : "the run did not report";
        std::replace(why.begin(), why.end(), '_', ' ');
        std::fprintf(stderr, "  failed: %s\n", why.c_str());
        link.failures.push_back(why);
      }
    }
  }
  std::string md = TransferTable(links, blocks, repeat);

  if (silent) {
    std::vector<SilentRow> rows;
    for (const LinkRuns& link : links) {
      std::fprintf(stderr, "silent reader over %s ...\n", link.spec->name);
      rows.emplace_back(link.spec->label, RunChild({"--run", "silent", link.spec->name}));
    }
    if (cli) {
      std::fprintf(stderr, "command line, silent reader ...\n");
      rows.emplace_back("Command line, whole process: a TCP reader that never answers, until --timeout " +
                            std::to_string(kCliSilentSeconds) + " s",
                        RunChild({"--run", "cli-silent", "-"}));
    }
    md += SilentTable(rows);
  }
  if (cli) {
    std::fprintf(stderr, "command line, %d block commands ...\n", kCliCommands);
    md += CliTable(RunChild({"--run", "cli", "-"}));
  }

  std::fputs(md.c_str(), stdout);
  if (!markdown.empty()) {
    std::ofstream out(markdown);
    out << md;
    if (!out) {
      std::fprintf(stderr, "bench_transfer: cannot write %s\n", markdown.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace
}  // namespace orvane::bench

int main(int argc, char** argv) {
  using namespace orvane::bench;
  if (argc >= 4 && std::string(argv[1]) == "--run") {
    int blocks = kDefaultBlocks;
    if (argc >= 6 && std::string(argv[4]) == "--blocks") blocks = std::clamp(std::atoi(argv[5]), 1, 2045);
    return RunOne(argv[2], argv[3], blocks);
  }
  return RunAll(argc, argv);
}
