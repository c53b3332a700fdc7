// Feature-report exchanges (keyboard-interface readers) through the in-memory
// HID device: any request, any answer reports, any feature report length.

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "transport/fake_hid_backend.h"
#include "transport/hid_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  fuzz::UseManualClock();
  FuzzedDataProvider input(data, size);
  HidReportLengths lengths;
  lengths.feature = input.ConsumeIntegralInRange<size_t>(0, 130);
  FakeHidBackend backend;
  auto device = std::make_shared<FakeHidDevice>(0x1234, 0x5678, 0, false, lengths);
  backend.AddDevice(device);
  HidDevice hid(backend);
  ORVANE_FUZZ_CHECK(hid.Open(0x1234, 0x5678));

  const int operation = input.ConsumeIntegralInRange<int>(0, 2);
  device->SetFailNextFeatureSets(input.ConsumeIntegralInRange<int>(0, 4));
  std::vector<uint8_t> response(input.ConsumeIntegralInRange<size_t>(0, 1100));
  const std::vector<uint8_t> request = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
  const size_t answers = input.ConsumeIntegralInRange<size_t>(0, 40);
  for (size_t i = 0; i < answers && input.remaining_bytes() > 0; ++i) {
    device->PushFeatureReport(input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 140)));
  }

  size_t responseLength = response.size();
  bool ok = false;
  switch (operation) {
    case 0:
      ok = hid.FeatureQuery(request.data(), request.size(), response.data(), responseLength);
      break;
    case 1:
      ok = hid.FeatureCommand(request.data(), request.size(), response.data(), responseLength);
      break;
    default: {
      HidDevice::FeaturePauses pauses;
      pauses.maxMisses = input.ConsumeIntegralInRange<int>(0, 8);
      ok = hid.FeatureTransfer(request.data(), request.size(), response.data(), responseLength, pauses);
      break;
    }
  }
  ORVANE_FUZZ_CHECK(responseLength <= response.size());
  if (ok && lengths.feature >= 2) {
    const size_t chunk = lengths.feature - 1;
    ORVANE_FUZZ_CHECK(responseLength % chunk == 0);
    // Every request byte went out, in order, after the report id.
    std::vector<uint8_t> sent;
    for (const auto& report : device->FeatureReportsSet()) {
      ORVANE_FUZZ_CHECK(report.size() == lengths.feature && report[0] == 0);
      sent.insert(sent.end(), report.begin() + 1, report.end());
    }
    ORVANE_FUZZ_CHECK(sent.size() >= request.size() && sent.size() < request.size() + chunk);
    ORVANE_FUZZ_CHECK(std::equal(request.begin(), request.end(), sent.begin()));
  }
  return 0;
}
