// Draws the pictures of the desktop program: the start-up picture, the logo,
// the ready and not-ready pictures and the program icon. Run it with the
// folder to write into (res/images) and the offscreen platform.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QColor kTealDark(22, 78, 96);
const QColor kTeal(38, 116, 136);
const QColor kTealLight(120, 170, 180);
const QColor kOrange(250, 176, 58);
const QColor kOrangeDark(229, 151, 0);

QFont Arial(double pixelSize, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(static_cast<int>(pixelSize));
  font.setBold(bold);
  return font;
}

// A card reader seen from the front, in a box of `size` (width : height = 5 : 8).
void DrawReader(QPainter& p, const QRectF& box, bool screenOn) {
  const double w = box.width();
  const double h = box.height();
  const double x = box.left();
  const double y = box.top();

  // Card in the slot at the top.
  QRectF card(x + w * 0.16, y - h * 0.16, w * 0.68, h * 0.30);
  QLinearGradient cardShade(card.topLeft(), card.bottomRight());
  cardShade.setColorAt(0, QColor(70, 140, 200));
  cardShade.setColorAt(1, QColor(30, 80, 150));
  p.setPen(Qt::NoPen);
  p.setBrush(cardShade);
  p.drawRoundedRect(card, w * 0.05, w * 0.05);
  QRectF chip(card.left() + card.width() * 0.12, card.top() + card.height() * 0.22, card.width() * 0.2,
              card.height() * 0.28);
  QLinearGradient chipShade(chip.topLeft(), chip.bottomRight());
  chipShade.setColorAt(0, QColor(255, 226, 140));
  chipShade.setColorAt(1, QColor(206, 160, 60));
  p.setBrush(chipShade);
  p.drawRoundedRect(chip, chip.width() * 0.15, chip.width() * 0.15);

  // Body.
  QRectF body(x, y, w, h);
  QLinearGradient bodyShade(body.topLeft(), body.topRight());
  bodyShade.setColorAt(0, QColor(58, 64, 72));
  bodyShade.setColorAt(0.5, QColor(44, 49, 56));
  bodyShade.setColorAt(1, QColor(30, 34, 40));
  p.setBrush(bodyShade);
  p.drawRoundedRect(body, w * 0.12, w * 0.12);
  // Slot.
  p.setBrush(QColor(12, 14, 18));
  p.drawRoundedRect(QRectF(x + w * 0.12, y + h * 0.035, w * 0.76, h * 0.025), 2, 2);

  // Screen.
  QRectF screen(x + w * 0.12, y + h * 0.1, w * 0.76, h * 0.3);
  QLinearGradient screenShade(screen.topLeft(), screen.bottomLeft());
  if (screenOn) {
    screenShade.setColorAt(0, QColor(214, 240, 238));
    screenShade.setColorAt(1, QColor(160, 210, 208));
  } else {
    screenShade.setColorAt(0, QColor(90, 100, 110));
    screenShade.setColorAt(1, QColor(60, 68, 76));
  }
  p.setBrush(screenShade);
  p.drawRoundedRect(screen, w * 0.03, w * 0.03);
  if (screenOn) {
    // Contactless waves and a progress bar on the screen.
    p.setPen(QPen(kTealDark, std::max(1.0, w * 0.025), Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF centre(screen.center().x() - w * 0.12, screen.top() + screen.height() * 0.42);
    for (int i = 1; i <= 3; ++i) {
      const double r = w * 0.05 * i;
      p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }
    QRectF track(screen.left() + screen.width() * 0.12, screen.bottom() - screen.height() * 0.25,
                 screen.width() * 0.76, screen.height() * 0.1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    p.setBrush(QColor(6, 176, 37));
    p.drawRoundedRect(QRectF(track.left(), track.top(), track.width() * 0.65, track.height()), track.height() / 2,
                      track.height() / 2);
  }

  // Keypad: 4 rows of 3 keys, then the three function keys.
  p.setPen(Qt::NoPen);
  const double keyW = w * 0.2;
  const double keyH = h * 0.068;
  const double left = x + w * 0.14;
  const double top = y + h * 0.47;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 3; ++col) {
      QRectF key(left + col * keyW * 1.25, top + row * keyH * 1.35, keyW, keyH);
      QLinearGradient keyShade(key.topLeft(), key.bottomLeft());
      keyShade.setColorAt(0, QColor(236, 238, 240));
      keyShade.setColorAt(1, QColor(190, 196, 202));
      p.setBrush(keyShade);
      p.drawRoundedRect(key, keyH * 0.3, keyH * 0.3);
    }
  }
  const QColor function[3] = {QColor(220, 60, 50), QColor(240, 200, 40), QColor(40, 170, 80)};
  for (int col = 0; col < 3; ++col) {
    QRectF key(left + col * keyW * 1.25, top + 4 * keyH * 1.35, keyW, keyH);
    p.setBrush(function[col]);
    p.drawRoundedRect(key, keyH * 0.3, keyH * 0.3);
  }
}

// An orange disc with an upward arrow: the firmware update.
void DrawUpdateBadge(QPainter& p, const QPointF& centre, double radius) {
  QRadialGradient shade(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.4);
  shade.setColorAt(0, QColor(255, 214, 130));
  shade.setColorAt(1, kOrangeDark);
  p.setPen(QPen(Qt::white, std::max(1.0, radius * 0.12)));
  p.setBrush(shade);
  p.drawEllipse(centre, radius, radius);
  QPainterPath arrow;
  const double s = radius * 0.55;
  arrow.moveTo(centre.x(), centre.y() - s);
  arrow.lineTo(centre.x() + s * 0.85, centre.y());
  arrow.lineTo(centre.x() + s * 0.32, centre.y());
  arrow.lineTo(centre.x() + s * 0.32, centre.y() + s);
  arrow.lineTo(centre.x() - s * 0.32, centre.y() + s);
  arrow.lineTo(centre.x() - s * 0.32, centre.y());
  arrow.lineTo(centre.x() - s * 0.85, centre.y());
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(arrow);
}

QImage Icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  QRectF tile(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
  QLinearGradient tileShade(tile.topLeft(), tile.bottomRight());
  tileShade.setColorAt(0, kTeal);
  tileShade.setColorAt(1, kTealDark);
  p.setPen(Qt::NoPen);
  p.setBrush(tileShade);
  p.drawRoundedRect(tile, s * 0.2, s * 0.2);
  DrawReader(p, QRectF(s * 0.25, s * 0.26, s * 0.4, s * 0.64), true);
  DrawUpdateBadge(p, QPointF(s * 0.73, s * 0.72), s * 0.19);
  return image;
}

QImage Logo() {
  QImage image(237, 50, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.drawImage(QRectF(1, 1, 48, 48), Icon(192));
  p.setPen(kTealDark);
  p.setFont(Arial(30, true));
  p.drawText(QRectF(56, -2, 181, 32), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("ORVANE"));
  p.setPen(Qt::NoPen);
  p.setBrush(kOrange);
  p.drawRect(QRectF(58, 32, 44, 2.5));
  p.setPen(QColor(70, 80, 90));
  p.setFont(Arial(11.5, false));
  p.drawText(QRectF(57, 35, 180, 15), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Reader Bootload Software"));
  return image;
}

QImage StatusBadge(bool ready) {
  QImage image(80, 80, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor base = ready ? QColor(34, 177, 76) : QColor(214, 48, 40);
  // Soft shadow, then the disc.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 45));
  p.drawEllipse(QPointF(41.5, 42.5), 35, 35);
  QRadialGradient shade(QPointF(30, 26), 52);
  shade.setColorAt(0, base.lighter(150));
  shade.setColorAt(0.6, base);
  shade.setColorAt(1, base.darker(130));
  p.setPen(QPen(Qt::white, 3));
  p.setBrush(shade);
  p.drawEllipse(QPointF(40, 40), 34, 34);
  // Gloss.
  QLinearGradient gloss(QPointF(40, 8), QPointF(40, 40));
  gloss.setColorAt(0, QColor(255, 255, 255, 120));
  gloss.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(gloss);
  p.drawEllipse(QRectF(16, 9, 48, 30));
  // Mark.
  p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  if (ready) {
    QPainterPath check;
    check.moveTo(23, 42);
    check.lineTo(35, 54);
    check.lineTo(58, 28);
    p.drawPath(check);
  } else {
    p.drawLine(QPointF(28, 28), QPointF(52, 52));
    p.drawLine(QPointF(52, 28), QPointF(28, 52));
  }
  return image;
}

QImage Startup() {
  const int width = 1051;
  const int height = 659;
  QImage image(width, height, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  QLinearGradient sky(QPointF(0, 0), QPointF(0, height));
  sky.setColorAt(0, QColor(255, 255, 255));
  sky.setColorAt(0.55, QColor(232, 242, 244));
  sky.setColorAt(1, QColor(196, 218, 222));
  p.fillRect(image.rect(), sky);

  // Wave bands along the bottom.
  auto wave = [&](double base, double amplitude, double phase, const QColor& colour) {
    QPainterPath band;
    band.moveTo(0, height);
    band.lineTo(0, base);
    for (int x = 0; x <= width; x += 8) {
      const double t = x / static_cast<double>(width);
      band.lineTo(x, base + amplitude * std::sin(t * 5.2 + phase) + amplitude * 0.4 * std::sin(t * 11.0 + phase));
    }
    band.lineTo(width, height);
    band.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(band);
  };
  wave(455, 14, 0.3, QColor(180, 200, 200, 150));
  wave(480, 18, 1.6, QColor(120, 170, 180, 140));
  wave(510, 12, 2.7, QColor(38, 116, 136, 170));
  wave(540, 10, 4.0, QColor(22, 78, 96, 220));

  // Faint circuit lines behind the reader.
  p.setPen(QPen(QColor(38, 116, 136, 40), 2));
  for (int i = 0; i < 9; ++i) {
    const double y = 170 + i * 28;
    p.drawLine(QPointF(120, y), QPointF(300 - (i % 3) * 30, y));
    p.drawEllipse(QPointF(300 - (i % 3) * 30, y), 4, 4);
    p.drawLine(QPointF(600 + (i % 3) * 30, y), QPointF(800, y));
    p.drawEllipse(QPointF(600 + (i % 3) * 30, y), 4, 4);
  }

  // The reader, centred under the title, with a card in its slot and the update badge.
  QPainterPath shadow;
  shadow.addEllipse(QPointF(434, 446), 120, 14);
  p.fillPath(shadow, QColor(0, 0, 0, 40));
  DrawReader(p, QRectF(364, 196, 140, 238), true);
  DrawUpdateBadge(p, QPointF(520, 392), 34);

  // Product name at the top left, small; the blue title is drawn by the program.
  p.setPen(QColor(22, 78, 96));
  p.setFont(Arial(20, true));
  p.drawText(QPointF(88, 46), QStringLiteral("ORVANE"));
  p.setPen(QColor(70, 90, 100));
  p.setFont(Arial(14, false));
  p.drawText(QPointF(190, 46), QStringLiteral("Reader Bootload Software"));
  p.setPen(Qt::NoPen);
  p.setBrush(kOrange);
  p.drawRect(QRectF(88, 54, 60, 3));

  p.setPen(QColor(255, 255, 255, 230));
  p.setFont(Arial(15, false));
  p.drawText(QRectF(0, 600, 800, 30), Qt::AlignCenter, QStringLiteral("Version 2.00.020"));
  return image;
}

bool Save(const QImage& image, const QDir& folder, const char* name) {
  const QString path = folder.filePath(QString::fromLatin1(name));
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists() && !folder.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  bool ok = Save(Startup(), folder, "startup.png");
  ok = Save(Logo(), folder, "logo.png") && ok;
  ok = Save(StatusBadge(true), folder, "ready.png") && ok;
  ok = Save(StatusBadge(false), folder, "not_ready.png") && ok;
  ok = Save(Icon(256), folder, "orvane_icon.png") && ok;
  return ok ? 0 : 1;
}
