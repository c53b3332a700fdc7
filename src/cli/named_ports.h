#pragma once
// Serial ports named on the command line (--port), in place of the system's listing.

#include <string>
#include <vector>

#include "bootload/reader_channel.h"
#include "transport/serial_port.h"

namespace orvane::cli {

// A device path as the port listing would describe it.
PortInfo PortInfoForPath(const std::string& devicePath);

// Makes the channel try `ports` instead of the system's listing; an empty
// list leaves the system's listing.
void UseNamedPorts(ReaderChannel& channel, const std::vector<std::string>& ports);

}  // namespace orvane::cli
