#pragma once
// The desktop program's one connection to the reader: the three transports
// and the ReaderChannel over them, built on first use from the program's
// settings and kept until the process ends.

namespace orvane {

class ReaderChannel;

ReaderChannel& ProgramReaderChannel();

// Makes WM_SWITCH_VIEW 3 build the main update view on the program's reader
// connection.
void RegisterMainUpdateView();

}  // namespace orvane
