// Counted and sequenced report reassembly through the in-memory HID device:
// arbitrary input reports of any report length, and messages written by the
// program's own writer read back through its reader.

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "transport/fake_hid_backend.h"
#include "transport/hid_device.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kVendor = 0x1234;
constexpr uint16_t kProduct = 0x5678;

struct Rig {
  explicit Rig(orvane::HidReportLengths lengths)
      : device(std::make_shared<orvane::FakeHidDevice>(kVendor, kProduct, 0, false, lengths)), hid(backend) {
    backend.AddDevice(device);
  }
  orvane::FakeHidBackend backend;
  std::shared_ptr<orvane::FakeHidDevice> device;
  orvane::HidDevice hid;
};

size_t Read(orvane::HidDevice& hid, bool counted, std::span<uint8_t> buffer) {
  return counted ? hid.ReadCountedReports(buffer, 1024) : hid.ReadSequencedReports(buffer, 1024);
}

// Any reports at all: the reader must stay inside its buffer and end.
void ArbitraryReports(FuzzedDataProvider& input) {
  orvane::HidReportLengths lengths;
  lengths.input = input.ConsumeIntegralInRange<size_t>(0, 200);
  Rig rig(lengths);
  ORVANE_FUZZ_CHECK(rig.hid.Open(kVendor, kProduct));
  const bool counted = input.ConsumeBool();
  Bytes buffer(input.ConsumeIntegralInRange<size_t>(0, 1100));
  const size_t reports = input.ConsumeIntegralInRange<size_t>(0, 40);
  for (size_t i = 0; i < reports && input.remaining_bytes() > 0; ++i) {
    const Bytes report = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 200));
    rig.device->PushInputReport(report);
  }
  if (input.ConsumeBool()) rig.device->SetPresent(false);  // vanished in the middle
  const size_t before = rig.device->PendingInputReports();
  const size_t got = Read(rig.hid, counted, buffer);
  ORVANE_FUZZ_CHECK(got <= buffer.size());
  ORVANE_FUZZ_CHECK(rig.device->PendingInputReports() <= before);
}

// What the writer cuts into reports, the reader of the same layout puts
// together again (a sequenced final report loses its trailing zeros).
void RoundTrip(FuzzedDataProvider& input) {
  orvane::HidReportLengths lengths;
  lengths.input = lengths.output = input.ConsumeIntegralInRange<size_t>(3, 130);
  Rig rig(lengths);
  ORVANE_FUZZ_CHECK(rig.hid.Open(kVendor, kProduct));
  const bool counted = input.ConsumeBool();
  const size_t capacity = input.ConsumeIntegralInRange<size_t>(1, 1100);
  const Bytes message = input.ConsumeRemainingBytes<uint8_t>();
  if (message.empty()) return;

  const bool written = counted ? rig.hid.WriteCountedReports(message.data(), message.size())
                               : rig.hid.WriteSequencedReports(message.data(), message.size());
  // Sequenced reports carry no count: output reports too short for a whole
  // 63-byte piece are refused, and nothing goes out.
  const bool fits = counted || lengths.output >= 1 + orvane::kHidReportData;
  ORVANE_FUZZ_CHECK(written == fits);
  if (!written) {
    ORVANE_FUZZ_CHECK(rig.device->OutputReports().empty());
    return;
  }
  const auto reports = rig.device->OutputReports();
  for (const Bytes& report : reports) {
    ORVANE_FUZZ_CHECK(report.size() == lengths.output);
    rig.device->PushInputReport(report);
  }
  Bytes buffer(capacity);
  const size_t got = Read(rig.hid, counted, buffer);
  ORVANE_FUZZ_CHECK(got <= capacity);

  Bytes expected = message;
  if (!counted) {
    const size_t chunk = std::min<size_t>(orvane::kHidReportData, lengths.output - 1);
    const size_t lastStart = (reports.size() - 1) * chunk;
    while (expected.size() > lastStart && expected.back() == 0) expected.pop_back();
  }
  if (expected.size() > capacity) expected.resize(capacity);
  ORVANE_FUZZ_CHECK(got == expected.size());
  ORVANE_FUZZ_CHECK(std::equal(expected.begin(), expected.end(), buffer.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvane::fuzz::UseManualClock();
  FuzzedDataProvider input(data, size);
  if (input.ConsumeBool()) {
    ArbitraryReports(input);
  } else {
    RoundTrip(input);
  }
  return 0;
}
