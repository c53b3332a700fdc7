#pragma once
// The About box: program name, version, logo and icon, one OK button.

#include <QDialog>

namespace orvane {

inline constexpr const char* kVersionText = "Version 2.00.020";

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthDlu = 258;
  static constexpr int kHeightDlu = 150;

  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace orvane
