#pragma once
// Shows the modules an update is about to load; "Continue" accepts, "Cancel",
// Escape and the close box reject.

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace orvane {

class CXPButton;

class CFileConfirmDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidthDlu = 240;
  static constexpr int kHeightDlu = 180;

  explicit CFileConfirmDlg(QWidget* parent = nullptr);

  // The selection text; set it before running the dialog.
  void SetText(const QString& text);
  QString Text() const { return text_; }

  CXPButton* ContinueButton() const { return continue_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString text_;
  QLabel* prompt_;
  QPlainTextEdit* list_;
  CXPButton* cancel_;
  CXPButton* continue_;
};

}  // namespace orvane
