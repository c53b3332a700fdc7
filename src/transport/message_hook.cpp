#include "transport/message_hook.h"

#include <cstdio>
#include <mutex>

namespace orvane {

namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

LinkProblemHook& Hook() {
  static LinkProblemHook hook;
  return hook;
}

}  // namespace

void SetLinkProblemHook(LinkProblemHook hook) {
  std::lock_guard lock(HookMutex());
  Hook() = std::move(hook);
}

std::string LinkProblemLine(const LinkProblem& problem) {
  if (problem.reason.empty()) return problem.text;
  return problem.text + ": " + problem.reason;
}

void WriteLinkProblem(const LinkProblem& problem) {
  // One write per line, so that lines from two threads do not interleave.
  const std::string line = LinkProblemLine(problem) + "\n";
  std::fputs(line.c_str(), stderr);
}

void ReportLinkProblem(const LinkProblem& problem) {
  LinkProblemHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = Hook();
  }
  // Called outside the lock: the hook may take its time.
  if (hook) {
    hook(problem);
  } else {
    WriteLinkProblem(problem);
  }
}

}  // namespace orvane
