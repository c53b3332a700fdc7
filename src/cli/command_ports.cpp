#include <algorithm>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"
#include "cli/named_ports.h"
#include "cli/terminal_text.h"
#include "transport/hid_backend.h"
#include "transport/hid_device.h"
#include "transport/serial_port.h"

namespace orvane::cli {
namespace {

struct HidRow {
  HidDeviceInfo device;
  bool chosen = false;     // the interface that the connection search opens for this identity
  std::string access;      // "ok" or why it cannot be opened for reading and writing
};

std::vector<HidRow> HidInterfaces(const BootloadSettings& settings) {
  HidBackend& backend = DefaultHidBackend();
  std::vector<HidRow> rows;
  const auto devices = backend.Enumerate();
  for (const auto& id : settings.vidPidList) {
    // Which interface would the search take? Ask the same code that connects.
    HidDevice probe(backend);
    const std::string chosenPath = probe.Open(id.vid, id.pid) ? probe.devicePath() : std::string();
    probe.Close();
    for (const auto& d : devices) {
      if (d.vendorId != (id.vid & 0xFFFF) || d.productId != (id.pid & 0xFFFF)) continue;
      if (std::any_of(rows.begin(), rows.end(), [&](const HidRow& r) { return r.device.path == d.path; })) continue;
      HidRow row{d, d.path == chosenPath, "ok"};
      std::string why;
      if (!backend.Open(d, &why)) row.access = why.empty() ? "cannot be opened" : why;
      rows.push_back(row);
    }
  }
  return rows;
}

std::string IdText(const HidDeviceInfo& d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X:%04X", d.vendorId, d.productId);
  return text;
}

}  // namespace

int RunPorts(CliContext& context) {
  BootloadSettings settings;
  if (!LoadSettings(context, settings)) return kExitUsage;

  std::vector<PortInfo> ports;
  std::string listingError;
  if (context.options.ports.empty()) {
    try {
      EnumeratePorts(ports, false);
    } catch (const SerialPortError& e) {
      listingError = e.what();
    }
  } else {
    for (const auto& path : context.options.ports) ports.push_back(PortInfoForPath(path));
  }
  const auto hid = HidInterfaces(settings);

  if (context.options.json) {
    JsonWriter json;
    json.BeginObject().Key("serial").BeginArray();
    for (const auto& p : ports) {
      json.BeginObject().Field("device", p.devicePath).Field("name", p.friendlyName).Field("usb", p.isUsb).EndObject();
    }
    json.EndArray();
    json.Key("serialError");
    if (listingError.empty()) json.Null();
    else json.String(listingError);
    json.Key("hid").BeginArray();
    for (const auto& h : hid) {
      json.BeginObject().Field("path", h.device.path).Field("id", IdText(h.device));
      json.Field("interface", h.device.interfaceNumber).Field("chosen", h.chosen).Field("access", h.access);
      json.Key("location");
      if (h.device.location.empty()) json.Null();
      else json.String(h.device.location);
      json.EndObject();
    }
    json.EndArray().EndObject();
    std::fprintf(context.out, "%s\n", json.Text().c_str());
    return kExitOk;
  }

  std::FILE* out = context.out;
  std::fprintf(out, "Serial ports (tried in this order, at %zu speed(s) each):\n", settings.baudRateList.size());
  if (!listingError.empty()) std::fprintf(out, "  listing failed: %s\n", Printable(listingError).c_str());
  if (ports.empty()) std::fprintf(out, "  none\n");
  for (const auto& p : ports) {
    std::fprintf(out, "  %-16s %s%s\n", Printable(p.devicePath).c_str(), Printable(p.friendlyName).c_str(),
                 p.isUsb ? " [USB]" : "");
  }
  std::fprintf(out, "USB HID interfaces of the configured identities:\n");
  if (hid.empty()) std::fprintf(out, "  none\n");
  for (const auto& h : hid) {
    // The location is what hid:LOCATION takes; it outlives the node's number.
    const std::string location = h.device.location.empty() ? "" : "  at " + Printable(h.device.location);
    std::fprintf(out, "  %s  %s  interface %d%s%s%s\n", IdText(h.device).c_str(), Printable(h.device.path).c_str(),
                 h.device.interfaceNumber, location.c_str(), h.chosen ? "  <- used" : "",
                 h.access == "ok" ? "" : ("  (" + Printable(h.access) + ")").c_str());
  }
  return kExitOk;
}

}  // namespace orvane::cli
