#pragma once
// The single run aimed at one reader of several (--one-reader SPEC): it looks
// for that reader only, over the link the address names, and writes its log
// under the reader's own name.

#include "app/bootload_settings.h"
#include "bootload/transport_bundle.h"
#include "cli/cli_options.h"
#include "cli/reader_address.h"

namespace orvane::cli {

// Before the run's transports exist: the interface, the named port, the
// network address and the log's name; HID identities are kept for hid: only,
// so that no other kind of link is searched.
void AimRunAt(const ReaderAddress& address, CliOptions& options, BootloadSettings& settings);

// Before the engine starts: a hid: run lists no serial ports and opens only
// the interface at its USB location.
void AimTransportsAt(const ReaderAddress& address, TransportBundle& transports);

}  // namespace orvane::cli
