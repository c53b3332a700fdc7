#include "ui/fallback_update_view.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "ui/program_resources.h"
#include "ui/program_style.h"

namespace orvane {

CStandInView::CStandInView(QWidget* parent) : QWidget(parent) {
  UseFormBackground(this);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(2);
  auto* logo = new QLabel(this);
  logo->setPixmap(QPixmap(QString::fromLatin1(kLogoPicture)));
  logo->setAlignment(Qt::AlignCenter);
  layout->addWidget(logo);
  auto* note = new QLabel(QStringLiteral("The firmware update view is not available in this build."), this);
  note->setFont(ArialFont(18, 400));
  note->setAlignment(Qt::AlignCenter);
  layout->addWidget(note);
  layout->addStretch(3);
}

}  // namespace orvane
