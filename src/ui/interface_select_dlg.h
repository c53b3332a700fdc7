#pragma once
// Asks once, at start, how the reader is reached.

#include <QDialog>

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
  // Interface kind values as the detection numbers them.
  static constexpr int kLocalInterfaces = 0;
  static constexpr int kTcpClientInterface = 1;
  static constexpr int kTlsServerInterface = 2;
  // The interface kind for a selection value: TLS gives 2, TCP / IP gives 1.
  static int InterfaceKindFor(int selection);
  // The operator's choice: the selection when the dialog was accepted, the
  // local interfaces when it was cancelled.
  int ChosenInterfaceKind() const;

  QRadioButton* RadioButton(int selection) const;
  CXPButton* OkButton() const { return ok_; }
  CXPButton* CancelButton() const { return cancel_; }

 private:
  int selection_ = 0;
  QRadioButton* radios_[3] = {};
  CXPButton* ok_;
  CXPButton* cancel_;
};

}  // namespace orvane
