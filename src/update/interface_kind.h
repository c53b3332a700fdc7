#pragma once
// The operator's choice of interface and the process-wide model flag.

#include <atomic>
#include <string_view>

namespace orvane {

enum InterfaceKind : int {
  InterfaceUsbSerial = 0,  // "USB HID / USB KB / RS232"
  InterfaceTcpClient = 1,  // "TCP / IP"
  InterfaceTlsServer = 2,  // "TLS"
};

// The interface dialog's own numbering of its radio buttons, in their order
// on the form.
enum InterfaceDialogSelection : int {
  kDialogUsbSerial = 0,  // radio 1084
  kDialogTls = 1,        // radio 1085
  kDialogTcp = 2,        // radio 1086
};

// Written after the interface dialog, read by the detection thread.
extern std::atomic<int> g_nInterfaceKind;
// The reader's version text named the "4710" model; shows the "Q450" box.
extern std::atomic<bool> g_bModelVariant;

}  // namespace orvane
