#pragma once
// The command line as the user typed it, checked and sorted.

#include <optional>
#include <string>
#include <vector>

#include "update/interface_kind.h"

namespace orvane::cli {

enum class Command { None, Ports, Info, List, Inspect, Update, UdevRules, MakeDemo };

struct CliOptions {
  Command command = Command::None;
  std::vector<std::string> arguments;  // what follows the command word

  // How the reader is reached, as in the desktop program's interface dialog.
  InterfaceKind interface = InterfaceUsbSerial;
  std::vector<std::string> ports;  // serial devices to try instead of the enumerated ones
  bool q450 = false;
  bool yes = false;
  bool json = false;
  bool raw = false;  // inspect: show the 1024-byte chunks
  bool all = false;  // update: every listed module
  bool help = false;
  bool version = false;
  std::optional<double> timeoutSeconds;
  std::string configFile;
  std::string folder;  // replaces the program's folder
  std::string appFolder;
  std::string kernelFolder;
  std::string uniAppFolder;
  std::optional<int> demoPort;  // make-demo: TCP port of the simulated reader
  bool interfaceGiven = false;

  // update of several readers at once, each by a run of its own
  std::vector<std::string> readers;  // --reader SPEC, as given
  bool allReaders = false;           // --readers all
  std::optional<int> parallel;       // --parallel N: at most N runs at once
  std::string oneReader;             // --one-reader SPEC: the single run, for that reader only

  bool ManyReaders() const { return !readers.empty() || allReaders; }
};

struct ParsedCommandLine {
  CliOptions options;
  std::string error;  // one line; empty when the command line is usable
};

// Options may stand before or after the command; "--name=value" and
// "--name value" are both accepted; "--" ends the options.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

const char* CommandName(Command command);

}  // namespace orvane::cli
