// Dialog units to pixels, the way dialog templates are laid out: a horizontal unit is a quarter of
// the dialog font's average character width, a vertical unit an eighth of its height.
#pragma once

#include <string_view>

namespace velda::qt {

// The dialog font's base units in pixels.
struct CBaseUnits {
  int cx = 0;  // average character width
  int cy = 0;  // character height
};

struct CPixelRect {
  int x = 0, y = 0, cx = 0, cy = 0;
  friend bool operator==(const CPixelRect&, const CPixelRect&) = default;
};

// a * b / c rounded to the nearest integer, halves away from zero; 0 when c is 0.
int MulDivRound(int a, int b, int c);

// Base units from the width of the 52 letters A-Z a-z and the font height, as the platform
// measures a dialog font: the average width is rounded to the nearest pixel.
CBaseUnits BaseUnitsFromLetters(int nWidthOf52Letters, int nHeight);

// The 52 letters that BaseUnitsFromLetters expects measured.
inline constexpr std::string_view kBaseUnitLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

CPixelRect DialogToPixels(int x, int y, int cx, int cy, const CBaseUnits& base);
int DialogXToPixels(int x, const CBaseUnits& base);
int DialogYToPixels(int y, const CBaseUnits& base);

}  // namespace velda::qt
