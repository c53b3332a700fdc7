#include "cli/reader_link.h"

#include "transport/hid_backend.h"

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

ReaderLink::ReaderLink(const BootloadSettings& settings, const std::vector<std::string>& ports)
    : hid_(DefaultHidBackend()), channel_(settings, hid_, serial_, network_) {
  if (!ports.empty()) {
    channel_.SetPortLister([ports](std::vector<PortInfo>& list) {
      for (const auto& path : ports) list.push_back(PortInfoForPath(path));
    });
  }
}

}  // namespace orvane::cli
