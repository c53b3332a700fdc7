#pragma once
// The command line of orvane-reader-sim.

#include <cstdint>
#include <string>
#include <vector>

#include "reader-sim/reader_options.h"

namespace orvane::sim {

struct SimCommandLine {
  enum class Link { None, TcpListen, TlsConnect, Pty };
  Link link = Link::None;
  uint16_t port = 0;  // --tcp-listen PORT, or the port of --tls-connect
  std::string host;   // --tls-connect HOST
  std::string bindAddress = "127.0.0.1";
  std::string linkPath;  // --pty --link PATH
  std::string caFile;    // --tls-ca FILE
  bool trace = false;
  bool help = false;
  uint32_t timeScale = 1;
  uint32_t count = 1;     // --count N: readers served at once
  bool numbered = false;  // --count given: the READY lines and trace lines name the reader
  ReaderOptions reader;   // what every reader shares
  // One entry per reader: `reader` with what --only gave that reader.
  std::vector<ReaderOptions> readers;
};

// False with a message in `error` for a command line that cannot be used.
bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine& out, std::string& error);
std::string SimUsage();

}  // namespace orvane::sim
