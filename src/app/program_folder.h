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

// folder + "/" + name; empty when `name` is not a plain entry of the folder
// (empty, ".", "..", or holding a slash), so that no path leaves the folder.
std::string PathInFolder(const std::string& folder, const std::string& name);

}  // namespace orvane
