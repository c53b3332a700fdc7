#pragma once
// Helpers shared by the desktop program's tests.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

namespace orvane::test {

// A configuration file that loads (reader 1209:3810).
QString ValidConfigurationXml(const QString& tlsPort = QStringLiteral("8443"),
                              const QString& tcpAddress = QStringLiteral("127.0.0.1"),
                              const QString& tcpPort = QStringLiteral("8000"));
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

// Calls `sample` every millisecond on the user-interface thread while alive,
// so that a state that lasts only a few milliseconds is not missed.
class Sampler {
 public:
  explicit Sampler(std::function<void()> sample);

 private:
  QTimer timer_;
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
