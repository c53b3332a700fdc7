#pragma once
// The start-up view: a picture and a blue title while the program starts;
// about a second later it asks the frame for the main update view and stays
// behind it as a hidden child.

#include <QFont>
#include <QPixmap>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <thread>

#include "ui/frame_view.h"

namespace orvane {

class CEMVL2_ConfigureView : public QWidget, public FrameView {
  Q_OBJECT

 public:
  static constexpr uint32_t kSwitchDelayMs = 1000;
  static constexpr const char* kTitleText = "  Orvane Update tool software";
  // The picture is centred as if it were this big.
  static constexpr int kPictureCentreWidth = 800;
  static constexpr int kPictureCentreHeight = 517;

  explicit CEMVL2_ConfigureView(QWidget* parent = nullptr);
  ~CEMVL2_ConfigureView() override;

  // Starts the start thread, which waits kSwitchDelayMs on the program clock
  // and then has WM_SWITCH_VIEW with the main update view sent to the frame.
  void OnInitialUpdate() override;

  // Where the title text's cell starts, for a view of this size.
  QPoint TitlePosition() const;
  QPoint PictureOrigin() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void StartThread();
  void StopThread();

  QPixmap picture_;
  QFont titleFont_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

}  // namespace orvane
