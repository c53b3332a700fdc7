#include "ui/file_confirm_dlg.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "ui/control_id.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/xp_button.h"

namespace orvane {

CFileConfirmDlg::CFileConfirmDlg(QWidget* parent) : QDialog(parent) {
  const DialogFontUnits units = kSystemFont10;
  setWindowTitle(QStringLiteral("Selected File Confirmation"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  setFont(DialogFont(units));
  setFixedSize(DluX(kWidthDlu, units), DluY(kHeightDlu, units));
  UseFormBackground(this);

  const QFont bold = ArialFont(20, 700);

  prompt_ = new QLabel(QStringLiteral("Please confirm the file selection:"), this);
  SetControlId(prompt_, 1080);
  prompt_->setFont(bold);
  prompt_->setGeometry(DluRect(8, 9, 149, 14, units));

  list_ = new QPlainTextEdit(this);
  SetControlId(list_, 1081);
  list_->setReadOnly(true);
  list_->setLineWrapMode(QPlainTextEdit::NoWrap);
  list_->setFont(ArialFont(16, 400));
  list_->setTabStopDistance(list_->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 6);
  list_->setGeometry(DluRect(4, 26, 233, 107, units));

  cancel_ = new CXPButton(QStringLiteral("Cancel"), this);
  SetControlId(cancel_, 2);
  cancel_->setFont(bold);
  cancel_->setAutoDefault(false);
  cancel_->setGeometry(DluRect(52, 151, 58, 17, units));
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  continue_ = new CXPButton(QStringLiteral("Continue"), this);
  SetControlId(continue_, 1);
  continue_->setFont(bold);
  continue_->setDefault(true);
  continue_->setGeometry(DluRect(133, 151, 57, 16, units));
  connect(continue_, &QPushButton::clicked, this, &QDialog::accept);
}

void CFileConfirmDlg::SetText(const QString& text) {
  text_ = text;
  list_->setPlainText(DisplayText(text));
}

void CFileConfirmDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  continue_->setFocus();
}

}  // namespace orvane
