#pragma once
// Asks once, at start, how the reader is reached.

#include <QDialog>

#include <optional>

#include "update/interface_kind.h"

class QRadioButton;

namespace orvane {

class CXPButton;

class CInterfaceSelectDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthDlu = 174;
  static constexpr int kHeightDlu = 122;
  // Radio buttons in their order on the form; the selection is their position.
  static constexpr int kLocalRadioId = 1084;  // "USB HID / USB KB / RS232", selection 0
  static constexpr int kTlsRadioId = 1085;    // "TLS", selection 1
  static constexpr int kTcpRadioId = 1086;    // "TCP / IP", selection 2

  explicit CInterfaceSelectDlg(QWidget* parent = nullptr);

  // 0, 1 or 2: the position of the checked radio button.
  int Selection() const { return selection_; }
  // The operator's choice once the dialog has ended: the checked radio
  // button's interface when it was accepted, nothing when it was cancelled.
  std::optional<InterfaceKind> ChosenInterface() const;

  QRadioButton* RadioButton(int selection) const;
  CXPButton* OkButton() const { return ok_; }

 private:
  int selection_ = 0;
  QRadioButton* radios_[3] = {};
  CXPButton* ok_;
  CXPButton* cancel_;
};

}  // namespace orvane
