#include "ui/interface_select_dlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

#include "ui/control_id.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/xp_button.h"

namespace orvane {

CInterfaceSelectDlg::CInterfaceSelectDlg(QWidget* parent) : QDialog(parent) {
  const DialogFontUnits units = kSystemFont10;
  setWindowTitle(QString::fromLatin1(kProductName));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  setFont(DialogFont(units));
  setFixedSize(DluX(kWidthDlu, units), DluY(kHeightDlu, units));
  UseFormBackground(this);

  auto* group = new QGroupBox(QStringLiteral("Select the Interface"), this);
  group->setGeometry(DluRect(10, 8, 154, 78, units));

  struct Choice {
    int id;
    const char* caption;
  };
  const Choice choices[3] = {
      {kLocalRadioId, "USB HID / USB KB / RS232"},
      {kTlsRadioId, "TLS"},
      {kTcpRadioId, "TCP / IP"},
  };
  auto* buttons = new QButtonGroup(this);
  for (int selection = 0; selection < 3; ++selection) {
    auto* radio = new QRadioButton(QString::fromLatin1(choices[selection].caption), group);
    SetControlId(radio, choices[selection].id);
    radio->setGeometry(DluRect(14, 18 + selection * 19, 134, 12, units));
    buttons->addButton(radio, selection);
    radios_[selection] = radio;
  }
  radios_[0]->setChecked(true);
  connect(buttons, &QButtonGroup::idClicked, this, [this](int selection) { selection_ = selection; });

  ok_ = new CXPButton(QStringLiteral("OK"), this);
  SetControlId(ok_, 1);
  ok_->setDefault(true);
  ok_->setGeometry(DluRect(57, 96, 60, 18, units));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  cancel_ = new CXPButton(QStringLiteral("Cancel"), this);
  SetControlId(cancel_, 2);
  cancel_->setGeometry(DluRect(104, 96, 60, 18, units));
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<InterfaceKind> CInterfaceSelectDlg::ChosenInterface() const {
  if (result() != QDialog::Accepted) return std::nullopt;
  // The radio buttons' order on the form is not the kinds' numbering.
  switch (selection_) {
    case 1:
      return InterfaceTlsServer;
    case 2:
      return InterfaceTcpClient;
    default:
      return InterfaceUsbSerial;
  }
}

QRadioButton* CInterfaceSelectDlg::RadioButton(int selection) const {
  return selection >= 0 && selection < 3 ? radios_[selection] : nullptr;
}

}  // namespace orvane
