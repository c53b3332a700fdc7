#pragma once
// The start-up view: a picture and a blue title while the program starts; its
// start thread asks the frame for the main update view at once, and the view
// stays behind it as a hidden child.

#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QWidget>

#include <thread>

#include "ui/frame_view.h"

namespace orvane {

class CEMVL2_ConfigureView : public QWidget, public FrameView {
  Q_OBJECT

 public:
  static constexpr const char* kTitleText = "  Orvane Update tool software";
  // The picture is centred as if it were this big.
  static constexpr int kPictureCentreWidth = 800;
  static constexpr int kPictureCentreHeight = 517;
  // The form the view is laid out on, in dialog units of the System font.
  static constexpr int kFormWidthDlu = 465;
  static constexpr int kFormHeightDlu = 223;
  static QSize FormSize();

  explicit CEMVL2_ConfigureView(QWidget* parent = nullptr);
  ~CEMVL2_ConfigureView() override;

  // Shrinks the frame to fit the form, then starts the start thread, which has
  // WM_SWITCH_VIEW with the main update view sent to the frame.
  void OnInitialUpdate() override;

  // Where the title text's cell starts, for a view of this size.
  QPoint TitlePosition() const;
  QPoint PictureOrigin() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void StartThread();

  QPixmap picture_;
  QFont titleFont_;
  std::thread thread_;
};

}  // namespace orvane
