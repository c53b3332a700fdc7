#include "transport/fake_hid_backend.h"
#include "transport/hid_backend.h"

#ifdef ORVANE_HAVE_HIDAPI
#include "transport/hidapi_backend.h"
#endif

namespace orvane {

HidBackend& DefaultHidBackend() {
#ifdef ORVANE_HAVE_HIDAPI
  static HidapiBackend backend;
#else
  // Built without hidapi: no HID readers can be found.
  static FakeHidBackend backend;
#endif
  return backend;
}

}  // namespace orvane
