#pragma once
// Problems that the transport layer meets while a link starts (the TLS
// server's certificate, key or port). The transport only says what went wrong
// and why; the program that uses it decides who hears it: the desktop program
// shows the text to the operator, the command line writes it to standard
// error. Without a hook, problems go to standard error.

#include <functional>
#include <string>
#include <string_view>

namespace orvane {

struct LinkProblem {
  std::string text;         // the program's own words, shown as they stand
  std::string reason;       // why, from the system or the TLS library; may be empty
  bool forOperator = true;  // false: a diagnostic, for standard error only
};

using LinkProblemHook = std::function<void(const LinkProblem& problem)>;

// Replaces the hook for the whole process; an empty hook restores the default.
void SetLinkProblemHook(LinkProblemHook hook);
void ReportLinkProblem(const LinkProblem& problem);
// The problem as one line of standard error (no line end): "text: reason".
std::string LinkProblemLine(const LinkProblem& problem);
// Writes LinkProblemLine and a line end to standard error.
void WriteLinkProblem(const LinkProblem& problem);

}  // namespace orvane
