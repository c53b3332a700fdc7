#include "ui/program_resources.h"

#include <QPixmap>

namespace orvane {

QIcon ProgramIcon() {
  QIcon icon;
  QPixmap large(QString::fromLatin1(kProgramIconPicture));
  if (large.isNull()) return icon;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    icon.addPixmap(large.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  icon.addPixmap(large);
  return icon;
}

}  // namespace orvane
