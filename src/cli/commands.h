#pragma once
// One function per command; each returns the process exit status.

#include "cli/cli_context.h"

namespace orvane::cli {

int RunPorts(CliContext& context);
int RunInfo(CliContext& context);
int RunList(CliContext& context);
int RunInspect(CliContext& context);
int RunUpdate(CliContext& context);
// update with --reader or --readers: every reader by a run of its own, at once.
int RunManyReaders(CliContext& context);
int RunUdevRules(CliContext& context);
int RunMakeDemo(CliContext& context);

}  // namespace orvane::cli
