#include "cli/reader_board.h"

#include <sys/wait.h>

#include <algorithm>

#include "cli/exit_status.h"
#include "cli/progress_meter.h"
#include "cli/terminal_text.h"
#include "update/update_texts.h"

namespace orvane::cli {
namespace {

std::string Str(const nlohmann::ordered_json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int Int(const nlohmann::ordered_json& object, const char* key, int fallback) {
  auto it = object.find(key);
  return it != object.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

// A program text with "\r\n" line breaks on one line.
std::string OneLine(const std::string& text) {
  std::string out;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!out.empty() && !part.empty()) out += ' ';
    out += part;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return Printable(out);
}

// "App V2.00.020" from "Application Mode, Version Info: V2.00.020 ...": the
// table has room for the mode and the version only.
std::string ShortDeviceText(const std::string& text) {
  const std::string first = text.substr(0, text.find("\r\n"));
  std::string mode = first.starts_with("Bootloader") ? "Boot" : first.starts_with("Application") ? "App" : "";
  const std::string marker = "Version Info: ";
  const size_t at = first.find(marker);
  if (mode.empty() || at == std::string::npos) return Printable(first);
  std::string version = first.substr(at + marker.size());
  while (!version.empty() && version.back() == ' ') version.pop_back();
  if (mode == "Boot" && version.starts_with("Bootloader")) return Printable(version);
  return Printable(mode + " " + version);
}

// Column widths of the live table: the status is what matters most, then
// the module and progress; the device text takes what is left.
struct Columns {
  size_t label, device, module, progress = 17;
};

Columns ColumnsFor(size_t labelWidth, int width) {
  constexpr size_t kStatusRoom = 26;
  Columns c{labelWidth, 0, 20};
  const size_t used = c.label + c.module + c.progress + kStatusRoom + 8;
  const size_t total = width > 1 ? static_cast<size_t>(width - 1) : 0;
  c.device = std::clamp<size_t>(total > used ? total - used : 0, 12, 40);
  return c;
}

std::string Fit(const std::string& text, size_t width) {
  if (text.size() <= width) return PadRight(text, width);
  if (width <= 3) return text.substr(0, width);
  return text.substr(0, width - 3) + "...";
}

}  // namespace

std::string ReaderRunState::Apply(const nlohmann::ordered_json& event) {
  const std::string kind = Str(event, "event");
  if (kind == "device") {
    const std::string text = Str(event, "text");
    device = ShortDeviceText(text);
    return "Device: " + OneLine(text);
  }
  if (kind == "status") {
    status = Str(event, "text");
    return Printable(status);
  }
  if (kind == "row") {
    module = Printable(Str(event, "name"));
    return module + ": " + Printable(Str(event, "mark"));
  }
  if (kind == "progress") {
    const std::string name = Printable(Str(event, "name"));
    if (name != module || percent < 0) lastPlainStep = 0;
    module = name;
    percent = std::clamp(Int(event, "percent", 0), 0, 100);
    if (percent / 10 <= lastPlainStep) return {};
    lastPlainStep = percent / 10;
    return module + ": " + std::to_string(percent) + "% (" + std::to_string(Int(event, "blocks", 0)) + "/" +
           std::to_string(Int(event, "total", 0)) + " blocks)";
  }
  if (kind == "message") return Printable(Str(event, "caption")) + ": " + OneLine(Str(event, "text"));
  if (kind == "confirm") return OneLine(Str(event, "text"));
  if (kind == "summary") {
    summary = event;
    status = Str(event, "status");
  }
  return {};
}

void ReaderRunState::End(int waitStatus, uint64_t nowMs) {
  phase = Phase::Ended;
  endMs = nowMs;
  if (WIFEXITED(waitStatus) && summary) {
    exitCode = WEXITSTATUS(waitStatus);
    return;
  }
  // No summary, or killed: whatever the run reported last, it did not finish.
  exitCode = kExitFailed;
  if (WIFSIGNALED(waitStatus)) {
    status = "The reader's run ended abnormally (signal " + std::to_string(WTERMSIG(waitStatus)) + ")";
  } else if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) != kExitOk) {
    exitCode = WEXITSTATUS(waitStatus);
    if (status.empty()) status = "The reader's run could not start (exit status " + std::to_string(exitCode) + ")";
  } else {
    status = "The reader's run ended without a result";
  }
}

std::string ReaderRunState::LogPath() const { return summary ? Str(*summary, "log") : std::string(); }

std::string ReaderRunState::ModulesText() const {
  if (!summary) return "-";
  int selected = 0, completed = 0;
  auto modules = summary->find("modules");
  if (modules != summary->end() && modules->is_array()) {
    for (const auto& m : *modules) {
      if (!m.is_object() || !m.value("selected", false)) continue;
      ++selected;
      if (Str(m, "mark") == texts::kRowCompleted) ++completed;
    }
  }
  return std::to_string(completed) + " of " + std::to_string(selected) + " completed";
}

std::string TableHeading(size_t labelWidth, int width) {
  const Columns c = ColumnsFor(labelWidth, width);
  std::string line = Fit("READER", c.label) + "  " + Fit("DEVICE", c.device) + "  " + Fit("MODULE", c.module) + "  " +
                     Fit("PROGRESS", c.progress) + "  STATUS";
  if (static_cast<int>(line.size()) >= width) line.resize(width > 1 ? width - 1 : 0);
  return line;
}

std::string TableLine(const ReaderRunState& r, size_t labelWidth, int width) {
  std::string progress;
  if (r.percent >= 0) {
    const int filled = r.percent / 10;
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3d%%", r.percent);
    progress = "[" + std::string(filled, '#') + std::string(10 - filled, '.') + "] " + pct;
  } else if (r.phase == ReaderRunState::Phase::Waiting) {
    progress = "waiting";
  }
  std::string status = Printable(r.status);
  if (r.phase == ReaderRunState::Phase::Running && status.empty()) status = "starting";
  const Columns c = ColumnsFor(labelWidth, width);
  std::string line = Fit(r.label, c.label) + "  " + Fit(r.device, c.device) + "  " + Fit(r.module, c.module) + "  " +
                     Fit(progress, c.progress) + "  " + status;
  if (static_cast<int>(line.size()) >= width) line.resize(width > 1 ? width - 1 : 0);
  return line;
}

std::vector<std::string> SummaryTable(const std::vector<ReaderRunState>& readers) {
  struct Row {
    std::string reader, result, modules, time, log;
  };
  std::vector<Row> rows{{"Reader", "Result", "Modules", "Time", "Log"}};
  for (const auto& r : readers) {
    const uint64_t seconds = r.endMs > r.startMs ? (r.endMs - r.startMs + 500) / 1000 : 0;
    std::string result = r.phase == ReaderRunState::Phase::Waiting ? "Not started" : Printable(r.status);
    rows.push_back({Printable(r.address), result, r.ModulesText(),
                    r.phase == ReaderRunState::Phase::Waiting ? "-" : FormatDuration(seconds),
                    r.LogPath().empty() ? "-" : Printable(r.LogPath())});
  }
  size_t w[4] = {0, 0, 0, 0};
  for (const auto& row : rows) {
    w[0] = std::max(w[0], row.reader.size());
    w[1] = std::max(w[1], row.result.size());
    w[2] = std::max(w[2], row.modules.size());
    w[3] = std::max(w[3], row.time.size());
  }
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    lines.push_back(PadRight(row.reader, w[0]) + "  " + PadRight(row.result, w[1]) + "  " +
                    PadRight(row.modules, w[2]) + "  " + PadRight(row.time, w[3]) + "  " + row.log);
  }
  return lines;
}

int CombinedExitStatus(const std::vector<ReaderRunState>& readers) {
  bool notFound = false;
  for (const auto& r : readers) {
    if (r.exitCode == kExitOk) continue;
    if (r.exitCode == kExitNoReader) notFound = true;
    else return kExitFailed;
  }
  return notFound ? kExitNoReader : kExitOk;
}

}  // namespace orvane::cli
