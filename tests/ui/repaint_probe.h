#pragma once
// Asks a widget to repaint at a steady pace and measures, on the real clock,
// the longest time between two paints: a user-interface thread that blocks
// shows up as one long gap.

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace orvane::test {

class RepaintProbe : public QObject {
 public:
  static constexpr int kRequestMs = 20;

  explicit RepaintProbe(QWidget* widget) : widget_(widget) {
    widget_->installEventFilter(this);
    timer_.setInterval(kRequestMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Request(); });
  }
  ~RepaintProbe() override {
    if (widget_) widget_->removeEventFilter(this);
  }
  RepaintProbe(const RepaintProbe&) = delete;
  RepaintProbe& operator=(const RepaintProbe&) = delete;

  void Start() {
    clock_.start();
    lastPaint_ = 0;
    timer_.start();
    Request();
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
    }
    return false;
  }

 private:
  void Request() {
    if (widget_) widget_->update();
  }
  void Paint() {
    const qint64 now = clock_.elapsed();
    worst_ = std::max(worst_, now - lastPaint_);
    lastPaint_ = now;
  }

  QPointer<QWidget> widget_;  // the widget may go first
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 lastPaint_ = 0;
  qint64 worst_ = 0;
  int paints_ = 0;
};

}  // namespace orvane::test
