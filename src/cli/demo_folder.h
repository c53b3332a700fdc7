#pragma once
// The demo folder: a configuration for the simulated reader on the local
// TCP port, and small sample modules of every kind made with the module
// writer, laid out as beside an installed program.

#include <string>
#include <vector>

namespace orvane::cli {

inline constexpr int kDefaultDemoPort = 39211;

struct DemoFolderResult {
  bool ok = false;
  std::string error;               // why not, when !ok
  std::vector<std::string> files;  // what was written
};

// Creates `folder` and its firmware folders as needed and writes the demo
// files into them, replacing earlier demo files of the same names. Nothing
// else in the folder is touched.
DemoFolderResult MakeDemoFolder(const std::string& folder, int tcpPort);

// The configuration text of the demo: the reader at 127.0.0.1:`tcpPort`.
std::string DemoConfiguration(int tcpPort);

}  // namespace orvane::cli
