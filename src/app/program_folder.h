#pragma once
// The folder of the running executable: it holds the configuration, the
// firmware folders, the TLS certificate and key, and the session log.

#include <string>

namespace orvane {

// Folder of /proc/self/exe with symbolic links resolved, without a trailing
// slash; empty when it cannot be determined. An override (set by tests or by a
// command-line option) takes precedence.
std::string ProgramFolder();
void SetProgramFolderOverride(std::string folder);  // empty clears it

// folder + "/" + name.
std::string PathInFolder(const std::string& folder, const std::string& name);

}  // namespace orvane
