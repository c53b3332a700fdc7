#include "ui/program_style.h"

#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace orvane {
namespace {

// Arial (and Liberation Sans, which stands in for it) has 2048 units per em and
// a cell of 1854 + 434 units: the em is that much smaller than the cell.
constexpr double kEmPerCell = 2048.0 / 2288.0;

int MulDivRounded(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

QFont ArialFont(int cellHeight, int weight) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(cellHeight * kEmPerCell))));
  font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
  return font;
}

int DluX(int units, DialogFontUnits font) { return MulDivRounded(units, font.baseX, 4); }
int DluY(int units, DialogFontUnits font) { return MulDivRounded(units, font.baseY, 8); }

QRect DluRect(int x, int y, int width, int height, DialogFontUnits font) {
  return QRect(DluX(x, font), DluY(y, font), DluX(width, font), DluY(height, font));
}

QFont DialogFont(DialogFontUnits font) {
  if (font.baseY >= 16) return ArialFont(16, 700);
  return ArialFont(font.baseY, 400);
}

void UseFormBackground(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, kFormBackground);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QString DisplayText(const QString& text) {
  QString plain = text;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return plain;
}

}  // namespace orvane
