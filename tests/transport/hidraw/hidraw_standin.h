#pragma once
// A stand-in for libhidapi-hidraw: the hid_* functions of hidapi/hidapi.h,
// linked into a test program in place of the library, serving in-memory
// hidraw nodes. It behaves as hidapi over hidraw does: the report id goes
// first on writes and feature reports (an id of 0 is not sent to an
// unnumbered device), reads of unnumbered reports come without an id byte
// and numbered ones with it, hid_read_timeout gives 0 on a time-out and -1
// once the device is gone, and enumerations and handles belong to the caller
// until freed or closed. The device side of each node is a FakeHidDevice,
// whose reports always hold the id byte in front (0 for unnumbered reports),
// so the simulated reader can sit behind it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/fake_hid_backend.h"

namespace orvane::test {

struct HidrawNode {
  std::string path;  // "/dev/hidraw3"
  std::shared_ptr<FakeHidDevice> device;
  bool numbered = false;  // reports carry their id on the wire
  std::wstring serialNumber;
  bool accessible = true;  // false: opening fails as without permission
};

// Process-wide, as the library is.
class HidrawStandin {
 public:
  // Forgets all nodes, handles, enumerations and the records below.
  static void Reset();
  static void Plug(HidrawNode node);

  // Ownership records.
  static int OpenHandles();
  static int LiveEnumerations();
  // Misuse seen: a handle or list freed twice or never handed out, a closed
  // handle used.
  static std::vector<std::string> Misuses();

  // Bytes of every write as they went out on the wire (no id byte 0 for an
  // unnumbered device), in order, over all nodes.
  static std::vector<std::vector<uint8_t>> WireWrites();
};

}  // namespace orvane::test
