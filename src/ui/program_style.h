#pragma once
// The program's look: its colours, its fonts (always Arial) and the dialog
// units in which its forms and dialogs are laid out.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace orvane {

inline constexpr const char* kProductName = "Orvane Reader Bootload Software";

inline const QColor kFormBackground{180, 200, 200};
// Named apart from the update engine's Rgb constants: two inline variables of
// one name would be merged into one object by the linker.
inline const QColor kStatusLineRed{255, 0, 0};
inline const QColor kStatusLineGreen{34, 177, 76};
inline const QColor kStartupTitleBlue{0, 0, 255};

// Arial with a cell height (ascent + descent) of `cellHeight` pixels, the way
// the program's fonts are specified; weight 700 is bold.
QFont ArialFont(int cellHeight, int weight = 400);

// A dialog font's base units: average character width and height in pixels.
// One horizontal dialog unit is a quarter of the width, one vertical unit an
// eighth of the height.
struct DialogFontUnits {
  int baseX;
  int baseY;
};
inline constexpr DialogFontUnits kSystemFont10{8, 16};     // 2 px per unit both ways
inline constexpr DialogFontUnits kSansSerifFont8{6, 13};

int DluX(int units, DialogFontUnits font);
int DluY(int units, DialogFontUnits font);
QRect DluRect(int x, int y, int width, int height, DialogFontUnits font);

// The font that controls of a dialog in those units use.
QFont DialogFont(DialogFontUnits font);

// Paints the widget's background in the program's blue-grey.
void UseFormBackground(QWidget* widget);

// Texts of the program carry Windows line breaks; Qt wants plain ones.
QString DisplayText(const QString& text);

}  // namespace orvane
