#pragma once
// RunResult: what an update run did, beside the texts it showed. The engine
// fills it while the procedures run and hands it to the view once, when the
// run ends, so that a front end decides success from values, not from the
// wording of the status line.

#include <string>
#include <vector>

namespace orvane {

// What became of one module of the run (the last mark its row was given).
enum class ModuleOutcome {
  NotSent,           // not ticked, or the run ended before it
  Completed,         // "Completed"
  Failed,            // "Failed"
  Suspended,         // "Suspended": put back to the end of the list, then not reached again
  NotReplugged,      // "Not Replug"
  ConnectionFailed,  // "Connection Failed"
};

// The row text that the outcome is shown with; empty for NotSent.
const char* ModuleOutcomeText(ModuleOutcome outcome);

// Where and why the run ended.
enum class RunEnd {
  Finished,             // every stage ran to its end (the modules may still have failed)
  KeyboardEntryFailed,  // the keyboard interface refused the bootloader entry
  ReaderNotFound,       // after the keyboard entry the reader did not come back
  NotInBootloader,      // the reader was not in its bootloader for a module
  FileTypeError,        // a module file of the wrong type
  PciMismatch,          // the file's PCI flag differs from the reader's
  StopPointError,       // the reader's stop point lies beyond the module
  ReconnectFailed,      // the kernel stage found no reader
  Stopped,              // the program stopped the run (a shutdown)
};

struct ModuleRunResult {
  int row = -1;
  ModuleOutcome outcome = ModuleOutcome::NotSent;
  friend bool operator==(const ModuleRunResult&, const ModuleRunResult&) = default;
};

struct RunResult {
  // Every module the run marked, in the order of their first mark.
  std::vector<ModuleRunResult> modules;
  // The result flags of the stages: true when nothing of the stage failed
  // (and a stage that did not run counts as not failed).
  bool firmwareOk = true;
  bool kernelOk = true;
  bool uniAppOk = true;
  RunEnd end = RunEnd::Finished;
  int stoppedAtRow = -1;  // the module being handled when the run ended early; -1 otherwise
  // The run reported success (the status line shows a success text).
  bool succeeded = false;
  std::string statusText;  // the status line at the end

  ModuleOutcome OutcomeOf(int row) const;
  // Records the outcome of a row, replacing an earlier one.
  void SetOutcome(int row, ModuleOutcome outcome);
};

}  // namespace orvane
