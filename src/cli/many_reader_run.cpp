// update --reader SPEC... / --readers all: one child process per reader, each
// the single run aimed at its reader (--one-reader) with JSON output, read
// here through pipes. Processes, not threads: the engine keeps process-wide
// state, and one reader's crash must not end the others' runs.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "app/clock.h"
#include "cli/child_run.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/json_writer.h"
#include "cli/reader_board.h"
#include "cli/reader_discovery.h"
#include "cli/reader_address.h"
#include "cli/terminal_text.h"
#include "transport/hid_backend.h"

namespace orvane::cli {
namespace {

// A child's line longer than this is cut: its summary lists every module
// row, well below it.
constexpr size_t kMaxChildLine = 1 << 20;
constexpr int kPollSliceMs = 100;
constexpr uint64_t kRedrawEveryMs = 100;

std::string SelfPath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "orvane-bootload-cli";
  return std::string(buffer, static_cast<size_t>(n));
}

// The single run's command line for one reader: the same modules, folders,
// configuration and time-out.
std::vector<std::string> ChildArguments(const CliOptions& o, const std::string& address) {
  std::vector<std::string> args{"update", "--yes", "--json", "--one-reader", address};
  auto pass = [&](const char* name, const std::string& value) {
    if (!value.empty()) args.insert(args.end(), {name, value});
  };
  pass("--config", o.configFile);
  pass("--folder", o.folder);
  pass("--app-folder", o.appFolder);
  pass("--kernel-folder", o.kernelFolder);
  pass("--uniapp-folder", o.uniAppFolder);
  if (o.q450) args.push_back("--q450");
  if (o.timeoutSeconds) args.insert(args.end(), {"--timeout", std::to_string(*o.timeoutSeconds)});
  if (o.all) args.push_back("--all");
  if (!o.arguments.empty()) {
    args.push_back("--");
    args.insert(args.end(), o.arguments.begin(), o.arguments.end());
  }
  return args;
}

class ManyReaderRun {
 public:
  ManyReaderRun(CliContext& context, std::vector<std::string> addresses)
      : context_(context),
        o_(context.options),
        out_(context.out, !o_.json && ::isatty(::fileno(context.out)) == 1),
        program_(SelfPath()) {
    for (auto& address : addresses) {
      ReaderRunState r;
      r.label = ReaderLabel(address);
      r.address = std::move(address);
      labelWidth_ = std::max(labelWidth_, r.label.size());
      readers_.push_back(std::move(r));
    }
    children_.resize(readers_.size());
    outLines_.resize(readers_.size(), LineSplitter(kMaxChildLine));
    errLines_.resize(readers_.size(), LineSplitter(kMaxChildLine));
  }

  int Run() {
    const size_t limit = o_.parallel ? static_cast<size_t>(*o_.parallel) : readers_.size();
    size_t next = 0;
    for (;;) {
      if (InterruptRequested() && !stopping_) StopAll();
      while (!stopping_ && next < readers_.size() && Running() < limit) Start(next++);
      if (Running() == 0 && (stopping_ || next == readers_.size())) break;
      PollOnce();
      Redraw(false);
    }
    Redraw(true);
    return Finish();
  }

 private:
  size_t Running() const {
    return static_cast<size_t>(std::count_if(readers_.begin(), readers_.end(), [](const ReaderRunState& r) {
      return r.phase == ReaderRunState::Phase::Running;
    }));
  }

  void Start(size_t i) {
    ReaderRunState& r = readers_[i];
    r.phase = ReaderRunState::Phase::Running;
    r.startMs = TickMs();
    children_[i] = std::make_unique<ChildRun>(program_, ChildArguments(o_, r.address));
    if (!children_[i]->started()) {
      r.status = children_[i]->error();
      r.End(127 << 8, TickMs());
      Show(i, r.status, false);
    }
    dirty_ = true;
  }

  void StopAll() {
    stopping_ = true;
    Note("Stopping every reader at its next block boundary...");
    for (size_t i = 0; i < readers_.size(); ++i) {
      if (readers_[i].phase == ReaderRunState::Phase::Running && children_[i]) children_[i]->Signal(SIGINT);
    }
  }

  // Waits at most one slice for output of any child, takes it, and reaps
  // the children that have ended.
  void PollOnce() {
    std::vector<pollfd> fds;
    std::vector<std::pair<size_t, bool>> owners;  // reader, standard output?
    for (size_t i = 0; i < readers_.size(); ++i) {
      if (readers_[i].phase != ReaderRunState::Phase::Running) continue;
      for (bool isOut : {true, false}) {
        const int fd = isOut ? children_[i]->outFd() : children_[i]->errFd();
        if (fd < 0) continue;
        fds.push_back({fd, POLLIN, 0});
        owners.emplace_back(i, isOut);
      }
    }
    if (!fds.empty() && ::poll(fds.data(), fds.size(), kPollSliceMs) < 0 && errno != EINTR) return;
    if (fds.empty()) {
      pollfd none{};
      ::poll(&none, 0, kPollSliceMs);  // both pipes closed: wait for the exit itself
    }
    for (size_t k = 0; k < fds.size(); ++k) {
      if (fds[k].revents == 0) continue;
      Drain(owners[k].first, owners[k].second);
    }
    for (size_t i = 0; i < readers_.size(); ++i) {
      ReaderRunState& r = readers_[i];
      if (r.phase != ReaderRunState::Phase::Running || children_[i]->outFd() >= 0 || children_[i]->errFd() >= 0) {
        continue;
      }
      if (auto status = children_[i]->Ended()) {
        r.End(*status, TickMs());
        children_[i].reset();  // its descriptors and process entry go now
        if (!o_.json) Show(i, "Finished: " + Printable(r.status) + " (exit status " + std::to_string(r.exitCode) + ")", false);
        dirty_ = true;
      }
    }
  }

  void Drain(size_t i, bool isOut) {
    ChildRun& child = *children_[i];
    const int fd = isOut ? child.outFd() : child.errFd();
    LineSplitter& splitter = isOut ? outLines_[i] : errLines_[i];
    char buffer[16384];
    std::vector<std::string> lines;
    bool ended = false;
    // A bounded number of reads per turn, so that one chatty child cannot starve the others.
    for (int reads = 0; reads < 16; ++reads) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        splitter.Add(buffer, static_cast<size_t>(n), lines);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      break;
    }
    if (ended) {
      if (auto rest = splitter.Rest()) lines.push_back(std::move(*rest));
      if (isOut) child.CloseOut();
      else child.CloseErr();
    }
    for (const auto& line : lines) {
      if (isOut) OutputLine(i, line);
      else Show(i, Printable(line), true);
    }
  }

  void OutputLine(size_t i, const std::string& line) {
    ReaderRunState& r = readers_[i];
    auto event = nlohmann::ordered_json::parse(line, nullptr, false);
    if (!event.is_object()) {
      if (o_.json) {
        JsonWriter json;
        json.BeginObject().Field("event", "output").Field("reader", r.address).Field("text", line).EndObject();
        Emit(json.Text());
      } else {
        Show(i, Printable(line), false);
      }
      return;
    }
    const std::string text = r.Apply(event);
    dirty_ = true;
    if (o_.json) {
      if (event.value("event", "") == "summary") return;  // goes into the run's own summary
      // The child's object as it stands, with the reader in front.
      Emit("{\"reader\":" + JsonQuote(r.address) + (line.size() > 2 ? "," : "") + line.substr(1));
      return;
    }
    // On a terminal the table shows status and progress; lines there are
    // for what the operator must read.
    const std::string kind = event.value("event", "");
    if (out_.terminal() && kind != "message" && kind != "confirm") return;
    if (!text.empty()) Show(i, text, false);
  }

  // ---- output ----

  void Emit(const std::string& jsonLine) {
    std::fputs(jsonLine.c_str(), context_.out);
    std::fputc('\n', context_.out);
    std::fflush(context_.out);
  }

  // A line about reader i, prefixed with its label, above the table.
  void Show(size_t i, const std::string& text, bool toErr) {
    if (o_.json && !toErr) return;
    const std::string line = "[" + readers_[i].label + "] " + text;
    Above(line, toErr ? context_.err : context_.out);
  }

  void Note(const std::string& text) {
    if (o_.json) return;
    Above(text, context_.out);
  }

  void Above(const std::string& line, std::FILE* stream) {
    ClearTable();
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    dirty_ = true;
  }

  void ClearTable() {
    if (!out_.terminal() || drawnLines_ == 0) return;
    std::fprintf(context_.out, "\033[%dA\r\033[J", drawnLines_);
    drawnLines_ = 0;
  }

  void Redraw(bool force) {
    if (!out_.terminal() || (!dirty_ && !force)) return;
    const uint64_t now = TickMs();
    if (!force && now - lastDrawMs_ < kRedrawEveryMs) return;
    lastDrawMs_ = now;
    dirty_ = false;
    const int width = out_.width();
    std::string text = "\033[?25l";  // no cursor flicker while the table is redrawn
    if (drawnLines_ > 0) text += "\033[" + std::to_string(drawnLines_) + "A";
    text += "\r\033[J" + TableHeading(labelWidth_, width) + "\n";
    for (const auto& r : readers_) text += TableLine(r, labelWidth_, width) + "\n";
    text += "\033[?25h";
    std::fputs(text.c_str(), context_.out);
    std::fflush(context_.out);
    drawnLines_ = static_cast<int>(readers_.size()) + 1;
  }

  int Finish() {
    const int exitCode = CombinedExitStatus(readers_);
    if (o_.json) {
      nlohmann::ordered_json summary{{"event", "summary"}};
      auto& list = summary["readers"] = nlohmann::ordered_json::array();
      for (const auto& r : readers_) {
        nlohmann::ordered_json entry{{"reader", r.address}};
        entry["status"] = r.phase == ReaderRunState::Phase::Waiting ? "Not started" : r.status;
        entry["exit"] = r.exitCode < 0 ? kExitFailed : r.exitCode;
        const std::string log = r.LogPath();
        entry["log"] = log.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(log);
        entry["elapsedMs"] = r.endMs > r.startMs ? r.endMs - r.startMs : 0;
        entry["stoppedAt"] = r.summary ? r.summary->value("stoppedAt", nlohmann::ordered_json()) : nlohmann::ordered_json();
        entry["modules"] = r.summary ? r.summary->value("modules", nlohmann::ordered_json::array())
                                     : nlohmann::ordered_json::array();
        list.push_back(std::move(entry));
      }
      summary["exit"] = exitCode;
      Emit(summary.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
      return exitCode;
    }
    std::fputc('\n', context_.out);
    for (const auto& line : SummaryTable(readers_)) std::fprintf(context_.out, "%s\n", line.c_str());
    std::fflush(context_.out);
    return exitCode;
  }

  CliContext& context_;
  const CliOptions& o_;
  ConsoleOutput out_;  // only for what it knows of the terminal
  const std::string program_;
  std::vector<ReaderRunState> readers_;
  std::vector<std::unique_ptr<ChildRun>> children_;
  std::vector<LineSplitter> outLines_;
  std::vector<LineSplitter> errLines_;
  size_t labelWidth_ = 6;
  bool stopping_ = false;
  bool dirty_ = true;
  int drawnLines_ = 0;
  uint64_t lastDrawMs_ = 0;
};

}  // namespace

int RunManyReaders(CliContext& context) {
  BootloadSettings settings;
  if (!LoadSettings(context, settings)) return kExitUsage;
  InstallInterruptHandler();
  std::vector<std::string> addresses = context.options.readers;
  if (context.options.allReaders) {
    addresses = FindLocalReaders(settings, DefaultHidBackend());
    if (addresses.empty()) {
      PrintError(context, "no reader found on the USB HID interfaces or the serial ports");
      return kExitNoReader;
    }
  }
  ManyReaderRun run(context, std::move(addresses));
  return run.Run();
}

}  // namespace orvane::cli
