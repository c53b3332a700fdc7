#pragma once
// Plays the reader as a USB HID device on the in-memory fake HID backend.
// Requests arrive as output reports, counted (report id 0, STX framing) or
// sequenced (report ids 1 to 4, header framing); each answer goes back as
// input reports in the layout of its request. The keyboard interface answers
// feature reports. A reboot makes the device vanish once the tool has read
// the answer, and reappear after the reboot delay. With a report interval in
// the reader's options each report takes a frame of its own, as on a real
// interrupt endpoint.

#include <memory>

#include "reader-sim/simulated_reader.h"
#include "transport/fake_hid_backend.h"

namespace orvane::sim {

class SimHidDevice {
 public:
  // The device must outlive Stop(); the caller adds it to its fake backend.
  SimHidDevice(SimulatedReader& reader, std::shared_ptr<FakeHidDevice> device);
  ~SimHidDevice();
  SimHidDevice(const SimHidDevice&) = delete;
  SimHidDevice& operator=(const SimHidDevice&) = delete;

  // Installs the report handlers and starts the thread that carries out
  // delays and reboots.
  bool Start();
  // Removes the handlers; the device is left present.
  void Stop();

  struct State;  // shared with the handlers, which may run on the tool's threads

 private:
  std::shared_ptr<State> state_;
};

}  // namespace orvane::sim
