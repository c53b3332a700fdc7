// orvane-bootload: the desktop program.

#include <QApplication>

#include "ui/bootload_app.h"
#include "ui/program_reader_channel.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  orvane::RegisterMainUpdateView();
  orvane::CBootloadApp app;
  if (!app.InitInstance()) return app.ExitInstance();
  const int status = QApplication::exec();
  return status != 0 ? status : app.ExitInstance();
}
