#pragma once
// The widgets of the main update view's form, built from the form table:
// every control in its place with its id, caption, font and colours, the
// file list's columns, the status line and the ready picture.

#include <QColor>
#include <QString>

#include <string_view>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace orvane {

class CListCtrlEx;
class CXPButton;

class ViewForm {
 public:
  // Builds the controls as children of `view` and gives `view` the form's
  // dialog font and minimum size.
  explicit ViewForm(QWidget* view);

  // The colour behind every control of the form.
  static QColor Background();
  // A text from the reader, a module file or the engine as the form shows it:
  // every byte stands for itself, Windows line breaks become plain ones and
  // other control characters become blanks.
  static QString Text(std::string_view text);
  // A file name as the file system stores it.
  static QString FileName(std::string_view name);

  void SetStatusColour(const QColor& colour);
  QColor StatusColour() const;
  // The ready (80 x 80) or the not-ready picture.
  void ShowPicture(bool ready);
  // Sets the device-information text and places its line: it grows down into
  // the space below the form when the text needs more room, never past
  // `viewHeight`; the view's minimum height grows with it, so that a view
  // area smaller than the text scrolls to it.
  void SetDeviceInfo(const QString& text, int viewHeight);
  void PlaceDeviceInfo(int viewHeight);

  QGroupBox* group = nullptr;
  QCheckBox* modelBox = nullptr;
  QCheckBox* selectAll = nullptr;
  CXPButton* reloadFirmware = nullptr;
  CXPButton* reloadKernel = nullptr;
  QLabel* portLabel = nullptr;
  QLineEdit* port = nullptr;
  QCheckBox* tlsBox = nullptr;
  CListCtrlEx* list = nullptr;
  QLabel* status = nullptr;
  CXPButton* update = nullptr;
  QLabel* picture = nullptr;
  QLabel* deviceLabel = nullptr;
  QLabel* deviceInfo = nullptr;
};

}  // namespace orvane
