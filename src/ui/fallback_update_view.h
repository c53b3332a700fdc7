#pragma once
// What the frame shows as the main update view while the program registers
// no other: the program's colours and logo, and a note that the update view is
// not available in this build.

#include <QWidget>

#include "ui/frame_view.h"

namespace orvane {

class CStandInView : public QWidget, public FrameView {
  Q_OBJECT

 public:
  explicit CStandInView(QWidget* parent = nullptr);
  void OnInitialUpdate() override {}
};

}  // namespace orvane
