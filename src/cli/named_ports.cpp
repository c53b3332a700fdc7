#include "cli/named_ports.h"

namespace orvane::cli {

PortInfo PortInfoForPath(const std::string& devicePath) {
  PortInfo info;
  info.devicePath = devicePath;
  size_t slash = devicePath.find_last_of('/');
  info.portName = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
  info.description = "named on the command line";
  info.friendlyName = info.description + " (" + info.portName + ")";
  return info;
}

void UseNamedPorts(ReaderChannel& channel, const std::vector<std::string>& ports) {
  if (ports.empty()) return;
  channel.SetPortLister([ports](std::vector<PortInfo>& list) {
    for (const auto& path : ports) list.push_back(PortInfoForPath(path));
  });
}

}  // namespace orvane::cli
