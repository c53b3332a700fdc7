#pragma once
// The session log, ORV_Bootload_log.txt: each write replaces the whole file
// with the text handed in.

#include <string>

namespace orvane {

inline constexpr const char* kSessionLogFileName = "ORV_Bootload_log.txt";

// The log's file name: kSessionLogFileName, unless this process runs the
// update of one of several readers and names its log after that reader. Set
// once at start-up, before any thread writes a log.
const std::string& SessionLogFileName();
void SetSessionLogFileName(std::string name);

// Writes `text` to the log in the program folder. The new content goes to a
// temporary file that is then renamed over the old log, so a failed write
// never leaves the operator without a log. When the program folder is not
// writable the log goes to $XDG_STATE_HOME/orvane-bootload/ (default
// ~/.local/state/orvane-bootload/); the caller tells the operator, as the
// returned path shows. Returns the path written, or an empty string when
// nothing could be written.
std::string WriteSessionLog(const std::string& text);

// The same into a given folder (no fallback). Returns false on failure.
bool WriteSessionLogInFolder(const std::string& folder, const std::string& text);

// The fallback folder used when the program folder is not writable.
std::string FallbackLogFolder();

}  // namespace orvane
