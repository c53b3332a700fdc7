#include "cli/one_reader.h"

#include "app/session_log.h"
#include "cli/named_ports.h"

namespace orvane::cli {

void AimRunAt(const ReaderSpec& spec, CliOptions& options, BootloadSettings& settings) {
  SetSessionLogFileName(ReaderLogFileName(spec.text));
  options.ports.clear();
  switch (spec.kind) {
    case ReaderSpec::Kind::Tcp:
      options.interface = InterfaceTcpClient;
      settings.tcpServerIp = spec.target;
      settings.tcpServerPort = spec.port;
      break;
    case ReaderSpec::Kind::Tls:
      options.interface = InterfaceTlsServer;
      settings.tlsServerPort = spec.port;
      break;
    case ReaderSpec::Kind::Serial:
      options.interface = InterfaceUsbSerial;
      options.ports = {spec.target};
      settings.vidPidList.clear();
      break;
    case ReaderSpec::Kind::Hid:
      options.interface = InterfaceUsbSerial;
      break;
  }
}

void AimTransportsAt(const ReaderSpec& spec, TransportBundle& transports) {
  if (spec.kind != ReaderSpec::Kind::Hid) return;
  transports.channel().SetPortLister([](std::vector<PortInfo>&) {});
  transports.hid().RestrictToLocation(spec.target);
}

}  // namespace orvane::cli
