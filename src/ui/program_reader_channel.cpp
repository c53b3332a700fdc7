#include "ui/program_reader_channel.h"

#include "bootload/reader_channel.h"
#include "transport/hid_device.h"
#include "transport/network_link.h"
#include "transport/serial_port.h"
#include "ui/bootload_app.h"
#include "ui/c_view_configuration.h"
#include "ui/main_frame.h"
#include "ui/ui_messages.h"

namespace orvane {

ReaderChannel& ProgramReaderChannel() {
  // Function-local statics: built in this order and destroyed in reverse at
  // process exit, after every view (and so every worker) is gone.
  static HidDevice hid(DefaultHidBackend());
  static SerialPort serial;
  static NetworkLink network;
  static ReaderChannel channel(ProgramSettings(), hid, serial, network);
  return channel;
}

void RegisterMainUpdateView() {
  RegisterViewFactory(kMainUpdateViewId,
                      [](CMainFrame&) -> QWidget* { return new CViewConfiguration(ProgramReaderChannel()); });
}

}  // namespace orvane
