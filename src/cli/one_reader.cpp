#include "cli/one_reader.h"

#include "app/session_log.h"
#include "cli/named_ports.h"

namespace orvane::cli {

void AimRunAt(const ReaderAddress& address, CliOptions& options, BootloadSettings& settings) {
  SetSessionLogFileName(ReaderLogFileName(address.text));
  options.ports.clear();
  switch (address.kind) {
    case ReaderAddress::Kind::Tcp:
      options.interface = InterfaceTcpClient;
      settings.tcpServerIp = address.target;
      settings.tcpServerPort = address.port;
      break;
    case ReaderAddress::Kind::Tls:
      options.interface = InterfaceTlsServer;
      settings.tlsServerPort = address.port;
      break;
    case ReaderAddress::Kind::Serial:
      options.interface = InterfaceUsbSerial;
      options.ports = {address.target};
      settings.vidPidList.clear();
      break;
    case ReaderAddress::Kind::Hid:
      options.interface = InterfaceUsbSerial;
      break;
  }
}

void AimTransportsAt(const ReaderAddress& address, TransportBundle& transports) {
  if (address.kind != ReaderAddress::Kind::Hid) return;
  transports.channel().SetPortLister([](std::vector<PortInfo>&) {});
  transports.hid().RestrictToLocation(address.target);
}

}  // namespace orvane::cli
