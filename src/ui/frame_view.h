#pragma once
// A view that the main frame shows in its client area.

namespace orvane {

class FrameView {
 public:
  virtual ~FrameView() = default;
  // Runs once, after the frame has made the view its active view and shown it.
  virtual void OnInitialUpdate() {}
};

}  // namespace orvane
