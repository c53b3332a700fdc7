#pragma once
// The local readers of `--readers all`: each USB HID interface of a
// configured identity, by its USB location, and each serial port whose reader
// answers identification, by its stable /dev/serial/by-path name when the
// system gives it one.

#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "bootload/reader_channel.h"
#include "transport/hid_backend.h"

namespace orvane::cli {

// Reader addresses ("hid:1-2.3", "serial:/dev/serial/by-path/..."), HID first,
// from the interfaces `hid` lists and the ports `lister` gives (empty: the
// system's listing).
std::vector<std::string> FindLocalReaders(const BootloadSettings& settings, HidBackend& hid,
                                          const ReaderChannel::PortLister& lister = {});

}  // namespace orvane::cli
