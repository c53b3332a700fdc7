#include "ui/about_dlg.h"

#include <QLabel>
#include <QPixmap>

#include "ui/control_id.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/xp_button.h"

namespace orvane {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const DialogFontUnits units = kSansSerifFont8;
  setWindowTitle(QStringLiteral("About Orvane Reader Bootload Software"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont(units));
  setFixedSize(DluX(kWidthDlu, units), DluY(kHeightDlu, units));
  UseFormBackground(this);

  auto* logo = new QLabel(this);
  logo->setPixmap(QPixmap(QString::fromLatin1(kLogoPicture)));
  logo->setGeometry(DluX(12, units), DluY(10, units), 237, 50);

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->setGeometry(DluX(12, units), DluY(58, units), 32, 32);

  auto* name = new QLabel(QString::fromLatin1(kProductName), this);
  QFont nameFont = ArialFont(17, 700);
  name->setFont(nameFont);
  name->setGeometry(DluX(42, units), DluY(58, units), DluX(200, units), DluY(12, units));

  auto* version = new QLabel(QString::fromLatin1(kVersionText), this);
  version->setGeometry(DluX(42, units), DluY(72, units), DluX(200, units), DluY(10, units));

  auto* ok = new CXPButton(QStringLiteral("OK"), this);
  SetControlId(ok, 1);
  ok->setDefault(true);
  ok->setGeometry(DluX(kWidthDlu - 62, units), DluY(kHeightDlu - 24, units), DluX(50, units), DluY(14, units));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace orvane
