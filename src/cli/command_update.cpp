#include <set>

#include "app/clock.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/json_writer.h"
#include "cli/one_reader.h"
#include "cli/reader_session.h"
#include "cli/terminal_text.h"
#include "transport/hid_backend.h"
#include "transport/hid_device.h"
#include "update/update_texts.h"

namespace orvane::cli {
namespace {

// The rows to tick: all, or those whose names were given. False (with the
// reason) when a name is not listed.
bool ChooseRows(const CliOptions& options, const std::vector<ModuleRow>& rows, std::set<int>& chosen,
                std::string& error) {
  for (const auto& r : rows) {
    if (options.all) chosen.insert(r.row);
  }
  for (const auto& name : options.arguments) {
    bool found = false;
    for (const auto& r : rows) {
      if (r.name == name) {
        chosen.insert(r.row);
        found = true;
      }
    }
    if (!found) {
      error = "no listed module is named '" + name + "' (see 'list')";
      return false;
    }
  }
  return true;
}

// `run` is the update run's result, or nullptr when no run started.
void PrintSummary(CliContext& context, ReaderSession& session, const std::string& status, int exitCode,
                  uint64_t startMs, const std::string& stoppedAt, const RunResult* run = nullptr) {
  const auto rows = session.presenter().Rows();
  const std::string log = session.LogPath();
  if (!context.options.json) {
    if (!log.empty()) std::fprintf(context.out, "Log: %s\n", Printable(log).c_str());
    std::fprintf(context.out, "%s\n", Printable(status).c_str());
    return;
  }
  JsonWriter json;
  json.BeginObject().Field("event", "summary").Field("status", status);
  json.Field("succeeded", exitCode == kExitOk).Field("exitCode", exitCode);
  json.Key("elapsedMs").Int(static_cast<int64_t>(TickMs() - startMs));
  json.Key("stoppedAt");
  if (stoppedAt.empty()) json.Null();
  else json.String(stoppedAt);
  json.Key("log");
  if (log.empty()) json.Null();
  else json.String(log);
  json.Key("modules").BeginArray();
  for (const auto& r : rows) {
    json.BeginObject().Field("row", r.row).Field("name", r.name).Field("kind", GroupName(r.group));
    const char* mark = run ? ModuleOutcomeText(run->OutcomeOf(r.row)) : "";
    json.Field("selected", session.presenter().IsRowChecked(r.row)).Field("mark", mark).EndObject();
  }
  json.EndArray().EndObject();
  std::fprintf(context.out, "%s\n", json.Text().c_str());
}

}  // namespace

int RunUpdate(CliContext& context) {
  if (context.options.ManyReaders()) return RunManyReaders(context);
  BootloadSettings settings;
  if (!LoadSettings(context, settings)) return kExitUsage;
  InstallInterruptHandler();
  const uint64_t startMs = TickMs();

  std::optional<ReaderAddress> aim;
  if (!context.options.oneReader.empty()) {
    std::string error;
    aim = ParseReaderAddress(context.options.oneReader, error);  // checked with the options
    AimRunAt(*aim, context.options, settings);
    // A mistyped location would otherwise look like a reader that never comes.
    if (aim->kind == ReaderAddress::Kind::Hid && !HidLocationOf(DefaultHidBackend(), aim->target)) {
      PrintError(context, "no USB HID interface at " + aim->target + " yet; waiting for the reader there");
    }
  }
  ReaderSession session(context, settings, aim ? &*aim : nullptr);
  const auto rows = session.ListModules();
  std::set<int> chosen;
  std::string error;
  if (!ChooseRows(context.options, rows, chosen, error)) {
    PrintError(context, error);
    return kExitUsage;
  }
  if (chosen.empty()) {
    // What the desktop program says when Update is pressed with nothing ticked.
    PrintError(context, "no module files are listed in the firmware folders (see 'list')");
    PrintSummary(context, session, texts::kSelectFileMessage, kExitFailed, startMs, {});
    return kExitFailed;
  }
  session.presenter().CheckRows(chosen);

  switch (session.FindReader()) {
    case ReaderSession::Found::Yes:
      break;
    case ReaderSession::Found::TimedOut:
      session.Stop();
      PrintError(context, "no reader found within the time-out");
      PrintSummary(context, session, "No reader found", kExitNoReader, startMs, {});
      return kExitNoReader;
    case ReaderSession::Found::Interrupted:
      session.Stop();
      PrintSummary(context, session, "Stopped before a reader was found", kExitFailed, startMs, {});
      return kExitFailed;
  }

  UpdateEngine& engine = session.engine();
  engine.OnButtonUpdate();
  // Over when no procedure runs any more and the run gave the controls back
  // (or never took them: nothing confirmed, or refused before it started).
  auto runOver = [&] {
    return !engine.UpdateRunning() && (session.presenter().FinishedRun() || !engine.busy());
  };
  if (session.presenter().Pump(runOver, std::nullopt) == TerminalPresenter::PumpEnd::Interrupted) {
    const std::string position = session.presenter().TransferPosition();
    session.presenter().Note("Stopping at the next block boundary...");
    // What the procedures still report while they stop is not the run's result.
    session.presenter().SetQuiet(true);
    session.Stop();
    const RunResult stopped = engine.CurrentRunResult();
    const std::string line = position.empty() ? "Stopped by the operator" : "Stopped by the operator: " + position;
    PrintSummary(context, session, line, kExitFailed, startMs, position, &stopped);
    return kExitFailed;
  }
  const std::optional<RunResult> run = session.presenter().FinishedRun();
  // No result: the selection was not confirmed, and nothing ran.
  const std::string status = run ? run->statusText : engine.statusText();
  session.Stop();
  const int exitCode = run && run->succeeded ? kExitOk : kExitFailed;
  PrintSummary(context, session, status, exitCode, startMs, {}, run ? &*run : nullptr);
  return exitCode;
}

}  // namespace orvane::cli
