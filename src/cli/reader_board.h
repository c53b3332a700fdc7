#pragma once
// What the many-reader run knows of each reader's run, from the events its
// child prints: for the live table, the prefixed lines and the summary.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane::cli {

struct ReaderRunState {
  enum class Phase { Waiting, Running, Ended };

  std::string address;
  std::string label;
  Phase phase = Phase::Waiting;
  std::string device;  // mode and version, short
  std::string module;  // the module being sent, or the last one marked
  int percent = -1;    // of the module being sent or last sent; -1 before any
  int lastPlainStep = 0;
  std::string status;
  uint64_t startMs = 0;
  uint64_t endMs = 0;
  std::optional<nlohmann::ordered_json> summary;  // the child's last word
  int exitCode = -1;

  // Takes one event; the line a single run would have printed for it, if
  // any (empty: nothing to print).
  std::string Apply(const nlohmann::ordered_json& event);
  // The child ended with this wait status: the exit status its run counts
  // with, and a status text when it left no summary (it crashed).
  void End(int waitStatus, uint64_t nowMs);

  std::string LogPath() const;
  // "2 of 3 completed".
  std::string ModulesText() const;
};

// One line of the live table, at most `width` characters.
std::string TableLine(const ReaderRunState& reader, size_t labelWidth, int width);
// The table's heading, aligned with TableLine.
std::string TableHeading(size_t labelWidth, int width);
// The final summary as text lines: reader, result, modules, time, log.
std::vector<std::string> SummaryTable(const std::vector<ReaderRunState>& readers);
// The exit status of the whole run from the readers' own: 0 when all
// succeeded; 3 when those that did not were never found; 1 otherwise.
int CombinedExitStatus(const std::vector<ReaderRunState>& readers);

}  // namespace orvane::cli
