#include "ui/program_reader_channel.h"

#include "bootload/transport_bundle.h"
#include "ui/bootload_app.h"
#include "ui/main_update_view.h"
#include "ui/main_frame.h"
#include "ui/window_messages.h"

namespace orvane {

ReaderChannel& ProgramReaderChannel() {
  // A function-local static: destroyed at process exit, after every view (and
  // so every worker) is gone.
  static TransportBundle transports(ProgramSettings(), DefaultHidBackend());
  return transports.channel();
}

void RegisterMainUpdateView() {
  RegisterViewFactory(kMainUpdateViewId,
                      [](CMainFrame&) -> QWidget* { return new CViewConfiguration(ProgramReaderChannel()); });
}

}  // namespace orvane
