#pragma once
// Helpers shared by the desktop program's tests.

#include <QColor>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <vector>

namespace orvane::test {

// A configuration file that loads (reader 1209:3810).
QString ValidConfigurationXml(const QString& tlsPort = QStringLiteral("8443"), const QString& tcpPort = QStringLiteral("8000"));
// Writes BootloadConfiguration.xml with `xml` into `folder`.
void WriteConfiguration(const QString& folder, const QString& xml);

// Records the program's message boxes instead of showing them, while alive.
struct MessageBoxRecorder {
  struct Shown {
    QString text;
    QString caption;
  };
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  std::vector<Shown> shown;
};

// Asks a widget to repaint every 20 ms from Start() to Stop() and measures, on
// the real clock, the longest time between two paints: a user-interface
// thread that blocks shows up as one long gap. `onPaint` looks at each paint.
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
  qint64 worstMs = 0;
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && timer_.isActive()) {
      Paint();
      ++paints;
      if (onPaint_) onPaint_();
    }
    return false;
  }

 private:
  void Paint() {
    worstMs = std::max(worstMs, clock_.elapsed() - lastPaint_);
    lastPaint_ = clock_.elapsed();
  }

  QPointer<QWidget> widget_;  // the widget may go first
  std::function<void()> onPaint_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 lastPaint_ = 0;
};

// Pixels of `image` inside `area` whose colour is within `tolerance` of `colour`.
int CountPixels(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 0);
// Bounding box of the pixels darker than `threshold` (sum of r, g, b) in `area`.
QRect DarkBounds(const QImage& image, const QRect& area, int threshold = 300);

// Runs `action` on the next modal dialog that opens (then closes nothing by
// itself): for driving exec() from a test.
void OnNextModal(std::function<void(QWidget* dialog)> action);
}  // namespace orvane::test
