#include "ui_test_support.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "ui/message_box.h"

namespace orvane::test {

QString ValidConfigurationXml(const QString& tlsPort, const QString& tcpPort) {
  return QStringLiteral(
             "<?xml version=\"1.0\"?>\n<BOOTLOAD_SETTING>\n"
             "  <USB vid_pid=\"1209,3810\" isOVG=\"1\"/>\n"
             "  <SERIAL com_port=\"1\" baudrateList=\"115200\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
             "  <SW enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n"
             "  <NET TLS_Server_Port=\"%1\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"%2\"/>\n"
             "</BOOTLOAD_SETTING>\n")
      .arg(tlsPort, tcpPort);
}

void WriteConfiguration(const QString& folder, const QString& xml) {
  QFile file(folder + QStringLiteral("/BootloadConfiguration.xml"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(xml.toUtf8());
}

MessageBoxRecorder::MessageBoxRecorder() {
  SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption) {
    shown.push_back({text, caption});
  });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHook({}); }

int CountPixels(const QImage& image, const QRect& area, const QColor& colour, int tolerance) {
  int count = 0;
  const QRect bounded = area.intersected(image.rect());
  for (int y = bounded.top(); y <= bounded.bottom(); ++y) {
    for (int x = bounded.left(); x <= bounded.right(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (std::abs(pixel.red() - colour.red()) <= tolerance && std::abs(pixel.green() - colour.green()) <= tolerance &&
          std::abs(pixel.blue() - colour.blue()) <= tolerance) {
        ++count;
      }
    }
  }
  return count;
}

QRect DarkBounds(const QImage& image, const QRect& area, int threshold) {
  QRect bounds;
  const QRect bounded = area.intersected(image.rect());
  for (int y = bounded.top(); y <= bounded.bottom(); ++y) {
    for (int x = bounded.left(); x <= bounded.right(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.red() + pixel.green() + pixel.blue() < threshold) bounds |= QRect(x, y, 1, 1);
    }
  }
  return bounds;
}

void OnNextModal(std::function<void(QWidget* dialog)> action) {
  auto* timer = new QTimer();
  auto shared = std::make_shared<std::function<void(QWidget*)>>(std::move(action));
  QObject::connect(timer, &QTimer::timeout, timer, [timer, shared] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    timer->stop();
    timer->deleteLater();
    (*shared)(modal);
  });
  timer->start(10);
}

}  // namespace orvane::test
