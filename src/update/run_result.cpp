#include "update/run_result.h"

#include "update/update_texts.h"

namespace orvane {

const char* ModuleOutcomeText(ModuleOutcome outcome) {
  switch (outcome) {
    case ModuleOutcome::Completed: return texts::kRowCompleted;
    case ModuleOutcome::Failed: return texts::kRowFailed;
    case ModuleOutcome::Suspended: return texts::kRowSuspended;
    case ModuleOutcome::NotReplugged: return texts::kRowNotReplug;
    case ModuleOutcome::ConnectionFailed: return texts::kRowConnectionFailed;
    case ModuleOutcome::NotSent: break;
  }
  return "";
}

ModuleOutcome RunResult::OutcomeOf(int row) const {
  for (const auto& module : modules) {
    if (module.row == row) return module.outcome;
  }
  return ModuleOutcome::NotSent;
}

void RunResult::SetOutcome(int row, ModuleOutcome outcome) {
  for (auto& module : modules) {
    if (module.row == row) {
      module.outcome = outcome;
      return;
    }
  }
  modules.push_back({row, outcome});
}

}  // namespace orvane
