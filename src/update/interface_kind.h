#pragma once
// The operator's choice of interface and the process-wide model flag. The
// command line and the interface dialog both hand the engine an InterfaceKind.

#include <atomic>

namespace orvane {

enum InterfaceKind : int {
  InterfaceUsbSerial = 0,  // "USB HID / USB KB / RS232"
  InterfaceTcpClient = 1,  // "TCP / IP"
  InterfaceTlsServer = 2,  // "TLS"
};

// Written after the interface dialog, read by the detection thread.
extern std::atomic<InterfaceKind> g_nInterfaceKind;
// The reader's version text named the "4710" model; shows the "Q450" box.
extern std::atomic<bool> g_bModelVariant;

}  // namespace orvane
