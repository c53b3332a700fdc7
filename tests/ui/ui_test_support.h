#pragma once
// Helpers shared by the desktop program's tests.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "app/clock.h"

class QWidget;

namespace orvane::test {

// A configuration file that loads.
QString ValidConfigurationXml();
// Writes BootloadConfiguration.xml with `xml` into `folder`.
void WriteConfiguration(const QString& folder, const QString& xml);

// Records the program's message boxes instead of showing them, while alive.
class MessageBoxRecorder {
 public:
  struct Shown {
    QString text;
    QString caption;
  };
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
  std::vector<Shown> shown;
};

// A clock whose pauses do not end until the test opens its gate; it keeps
// program time as the sum of the pauses taken.
class GateClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override;
  uint64_t TickMs() override;
  int OsWaitMs(uint32_t ms) override;
  void Open();
  // Total of the pauses that have ended.
  uint64_t SleptMs() const;
  // True once some pause waits at the gate.
  bool SomeoneWaiting() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
  bool waiting_ = false;
  uint64_t sleptMs_ = 0;
};

// Pixels of `image` inside `area` whose colour is within `tolerance` of `colour`.
int CountPixels(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 0);
// Bounding box of the pixels darker than `threshold` (sum of r, g, b) in `area`.
QRect DarkBounds(const QImage& image, const QRect& area, int threshold = 300);

// Runs `action` on the next modal dialog that opens (then closes nothing by
// itself): for driving exec() from a test.
void OnNextModal(std::function<void(QWidget* dialog)> action);
// Presses "Continue" on the next file confirmation (any other dialog that
// comes first is closed); `shown`, when given, receives the confirmation's text.
void ContinueNextConfirmation(QString* shown = nullptr);

}  // namespace orvane::test
