#include "cli/reader_discovery.h"

#include <algorithm>
#include <filesystem>
#include <future>
#include <set>

#include "bootload/transport_bundle.h"
#include "transport/hid_backend.h"
#include "transport/serial_port.h"

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;

// Probes at most this many ports at once: each holds a descriptor and a thread.
constexpr size_t kProbesAtOnce = 8;

// The /dev/serial/by-path link to `device`, or `device` itself.
std::string StableName(const std::string& device) {
  std::error_code ec;
  const fs::path target = fs::canonical(device, ec);
  if (ec) return device;
  for (const auto& entry : fs::directory_iterator("/dev/serial/by-path", ec)) {
    std::error_code linkEc;
    if (fs::canonical(entry.path(), linkEc) == target && !linkEc) return entry.path().string();
  }
  return device;
}

// True when a reader answers identification on `device` at a configured speed.
bool ReaderAnswersOn(BootloadSettings settings, const std::string& device) {
  settings.vidPidList.clear();  // the serial line only
  TransportBundle transports(settings, DefaultHidBackend());
  transports.channel().SetPortLister([device](std::vector<PortInfo>& ports) {
    PortInfo info;
    info.devicePath = device;
    ports.push_back(info);
  });
  std::string text;
  const bool found = transports.channel().ConnectUsbOrSerial(text);
  transports.serial().ClosePort();
  return found;
}

}  // namespace

std::vector<std::string> FindLocalReaders(const BootloadSettings& settings, HidBackend& hid,
                                          const ReaderChannel::PortLister& lister) {
  std::vector<std::string> addresses;
  std::set<std::string> seen;
  for (const HidDeviceInfo& d : hid.Enumerate()) {
    const bool configured = std::any_of(settings.vidPidList.begin(), settings.vidPidList.end(), [&](const VidPidEntry& e) {
      return d.vendorId == (e.vid & 0xFFFF) && d.productId == (e.pid & 0xFFFF);
    });
    // One reader per USB location, whatever interfaces it presents.
    const std::string where = d.location.empty() ? d.path : d.location;
    if (configured && seen.insert(where).second) addresses.push_back("hid:" + where);
  }

  std::vector<PortInfo> ports;
  try {
    if (lister) lister(ports);
    else EnumeratePorts(ports, false);
  } catch (const SerialPortError&) {
    // no serial readers then
  }
  for (size_t first = 0; first < ports.size(); first += kProbesAtOnce) {
    std::vector<std::pair<std::string, std::future<bool>>> probes;
    for (size_t i = first; i < std::min(ports.size(), first + kProbesAtOnce); ++i) {
      const std::string device = ports[i].devicePath;
      probes.emplace_back(device, std::async(std::launch::async, ReaderAnswersOn, settings, device));
    }
    for (auto& [device, probe] : probes) {
      if (probe.get()) addresses.push_back("serial:" + StableName(device));
    }
  }
  return addresses;
}

}  // namespace orvane::cli
