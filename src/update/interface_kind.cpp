#include "update/interface_kind.h"

namespace orvane {

std::atomic<InterfaceKind> g_nInterfaceKind{InterfaceUsbSerial};
std::atomic<bool> g_bModelVariant{false};

}  // namespace orvane
