#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string_view>

#include "cli/reader_address.h"

namespace orvane::cli {
namespace {

struct CommandWord {
  const char* word;
  Command command;
};

constexpr CommandWord kCommands[] = {
    {"ports", Command::Ports},         {"info", Command::Info},    {"list", Command::List},
    {"inspect", Command::Inspect},     {"update", Command::Update}, {"udev-rules", Command::UdevRules},
    {"make-demo", Command::MakeDemo},
};

std::optional<Command> CommandFromWord(std::string_view word) {
  for (const auto& c : kCommands) {
    if (word == c.word) return c.command;
  }
  return std::nullopt;
}

bool TakesValue(std::string_view name) {
  return name == "interface" || name == "port" || name == "timeout" || name == "config" || name == "folder" ||
         name == "app-folder" || name == "kernel-folder" || name == "uniapp-folder" || name == "demo-port" || name == "reader" || name == "readers" ||
         name == "parallel" || name == "one-reader";
}

bool IsFlag(std::string_view name) {
  return name == "q450" || name == "yes" || name == "json" || name == "raw" || name == "all" || name == "help" ||
         name == "version";
}

// A whole number or decimal of seconds, at most a year.
std::optional<double> ParseSeconds(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0 || value > 366.0 * 24 * 3600) {
    return std::nullopt;
  }
  return value;
}

// Applies one option; returns an error line or an empty string.
std::string ApplyOption(CliOptions& o, std::string_view name, const std::string& value) {
  if (name == "q450") o.q450 = true;
  else if (name == "yes") o.yes = true;
  else if (name == "json") o.json = true;
  else if (name == "raw") o.raw = true;
  else if (name == "all") o.all = true;
  else if (name == "help") o.help = true;
  else if (name == "version") o.version = true;
  else if (name == "interface") {
    o.interfaceGiven = true;
    if (value == "local") o.interface = InterfaceUsbSerial;
    else if (value == "tcp") o.interface = InterfaceTcpClient;
    else if (value == "tls") o.interface = InterfaceTlsServer;
    else return "--interface must be local, tcp or tls, not '" + value + "'";
  } else if (name == "port") {
    if (value.empty()) return "--port needs a device path";
    o.ports.push_back(value);
  } else if (name == "reader" || name == "one-reader") {
    std::string error;
    if (!ParseReaderAddress(value, error)) return error;
    if (name == "reader") o.readers.push_back(value);
    else o.oneReader = value;
  } else if (name == "readers") {
    if (value != "all") return "--readers takes only 'all' (name single readers with --reader)";
    o.allReaders = true;
  } else if (name == "parallel") {
    int n = 0;
    const char* end = value.data() + value.size();
    auto [stop, ec] = std::from_chars(value.data(), end, n);
    if (ec != std::errc() || stop != end || n < 1 || n > 1024) return "--parallel needs a number from 1 to 1024, not '" + value + "'";
    o.parallel = n;
  } else if (name == "timeout") {
    o.timeoutSeconds = ParseSeconds(value);
    if (!o.timeoutSeconds) return "--timeout needs a number of seconds, not '" + value + "'";
  } else if (name == "demo-port") {
    o.demoPort = ParsePortNumber(value);
    if (!o.demoPort) return "--demo-port needs a port number from 1 to 65535, not '" + value + "'";
  } else {
    if (value.empty()) return "--" + std::string(name) + " needs a non-empty value";
    if (name == "config") o.configFile = value;
    else if (name == "folder") o.folder = value;
    else if (name == "app-folder") o.appFolder = value;
    else if (name == "kernel-folder") o.kernelFolder = value;
    else if (name == "uniapp-folder") o.uniAppFolder = value;
  }
  return {};
}

// The options that name readers: with 'update' only, and not mixed with the
// ones that choose how a single run looks for its reader.
std::string CheckReaders(const CliOptions& o) {
  const bool one = !o.oneReader.empty();
  if (!o.ManyReaders() && !one) {
    if (o.parallel) return "--parallel applies to a run with --reader or --readers only";
    return {};
  }
  const char* option = one ? "--one-reader" : (o.allReaders ? "--readers" : "--reader");
  if (o.command != Command::Update) return std::string(option) + " applies to 'update' only";
  if (!o.readers.empty() && o.allReaders) return "give either --reader or --readers all, not both";
  if (one && o.ManyReaders()) return "--one-reader cannot be combined with --reader or --readers";
  if (!one && !o.yes) return std::string(option) + " needs --yes: the runs of several readers cannot each ask";
  if (one && o.parallel) return "--parallel applies to a run with --reader or --readers only";
  if (o.interfaceGiven || !o.ports.empty()) {
    return std::string(o.interfaceGiven ? "--interface" : "--port") + " cannot be combined with " + option +
           ": the reader's SPEC says how it is reached";
  }
  std::set<std::string> labels;
  for (const auto& address : o.readers) {
    // Two readers of one label would write one log.
    if (!labels.insert(ReaderLabel(address)).second) return "reader '" + address + "' is named twice (or as another spelling of the same name)";
  }
  return {};
}

std::string CheckCommand(const CliOptions& o) {
  const std::string cmd = CommandName(o.command);
  const size_t n = o.arguments.size();
  if (o.raw && o.command != Command::Inspect) return "--raw applies to 'inspect' only";
  if (o.all && o.command != Command::Update) return "--all applies to 'update' only";
  if (o.demoPort && o.command != Command::MakeDemo) return "--demo-port applies to 'make-demo' only";
  if (std::string error = CheckReaders(o); !error.empty()) return error;
  switch (o.command) {
    case Command::None:
      return "no command given";
    case Command::Inspect:
      if (n != 1) return "'inspect' needs exactly one FILE";
      return {};
    case Command::MakeDemo:
      if (n != 1) return "'make-demo' needs exactly one DIR";
      return {};
    case Command::Update:
      if (o.all && n > 0) return "'update' takes either --all or module names, not both";
      if (!o.all && n == 0) return "'update' needs --all or at least one module NAME";
      return {};
    default:
      if (n > 0) return "'" + cmd + "' takes no arguments (got '" + o.arguments.front() + "')";
      return {};
  }
}

}  // namespace

const char* CommandName(Command command) {
  for (const auto& c : kCommands) {
    if (c.command == command) return c.word;
  }
  return "";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine result;
  CliOptions& o = result.options;
  bool optionsEnded = false;
  bool haveCommand = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && arg == "-h") {
      o.help = true;
      continue;
    }
    if (!optionsEnded && arg.size() > 2 && arg.starts_with("--")) {
      std::string_view body(arg);
      body.remove_prefix(2);
      std::string_view name = body;
      std::optional<std::string> value;
      if (size_t eq = body.find('='); eq != std::string_view::npos) {
        name = body.substr(0, eq);
        value = std::string(body.substr(eq + 1));
      }
      if (IsFlag(name)) {
        if (value) {
          result.error = "--" + std::string(name) + " takes no value";
          return result;
        }
      } else if (TakesValue(name)) {
        if (!value) {
          if (i + 1 >= args.size()) {
            result.error = "--" + std::string(name) + " needs a value";
            return result;
          }
          value = args[++i];
        }
      } else {
        result.error = "unknown option '--" + std::string(name) + "'";
        return result;
      }
      if (std::string error = ApplyOption(o, name, value.value_or("")); !error.empty()) {
        result.error = std::move(error);
        return result;
      }
      continue;
    }
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      result.error = "unknown option '" + arg + "'";
      return result;
    }
    if (!haveCommand) {
      auto command = CommandFromWord(arg);
      if (!command) {
        result.error = "unknown command '" + arg + "'";
        return result;
      }
      o.command = *command;
      haveCommand = true;
    } else {
      o.arguments.push_back(arg);
    }
  }

  if (o.help || o.version) return result;
  result.error = CheckCommand(o);
  return result;
}

}  // namespace orvane::cli
