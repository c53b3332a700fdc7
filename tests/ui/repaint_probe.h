#pragma once
// Asks a widget to repaint at a steady pace and measures, on the real clock,
// the longest time between two paints: a user-interface thread that blocks
// shows up as one long gap. `onPaint`, when given, looks at each paint.

#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>

namespace orvane::test {

class RepaintProbe : public QObject {
 public:
  explicit RepaintProbe(QWidget* widget, std::function<void()> onPaint = {}) : widget_(widget), onPaint_(std::move(onPaint)) {
    widget_->installEventFilter(this);
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (widget_) widget_->update();
    });
  }
  void Start() {
    clock_.start();
    timer_.start(20);
  }
  // The time since the last paint counts as a gap too.
  void Stop() {
    timer_.stop();
    Paint();
  }
  // The longest time without a paint while the probe ran.
  qint64 WorstMs() const { return worst_; }
  int Paints() const { return paints_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && timer_.isActive()) {
      Paint();
      ++paints_;
      if (onPaint_) onPaint_();
    }
    return false;
  }

 private:
  void Paint() {
    worst_ = std::max(worst_, clock_.elapsed() - lastPaint_);
    lastPaint_ = clock_.elapsed();
  }

  QPointer<QWidget> widget_;  // the widget may go first
  std::function<void()> onPaint_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 lastPaint_ = 0;
  qint64 worst_ = 0;
  int paints_ = 0;
};

}  // namespace orvane::test
