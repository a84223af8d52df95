#include "ui/qt/dialog_units.h"

#include <cstdint>

namespace velda::qt {

int MulDivRound(int a, int b, int c) {
  if (c == 0) {
    return 0;
  }
  const std::int64_t n = static_cast<std::int64_t>(a) * b;
  const std::int64_t d = c;
  const bool bNegative = (n < 0) != (d < 0);
  const std::int64_t an = n < 0 ? -n : n;
  const std::int64_t ad = d < 0 ? -d : d;
  const std::int64_t q = (2 * an + ad) / (2 * ad);
  return static_cast<int>(bNegative ? -q : q);
}

CBaseUnits BaseUnitsFromLetters(int nWidthOf52Letters, int nHeight) {
  // Half the width of 26 letter pairs, rounded: (w / 26 + 1) / 2.
  return CBaseUnits{(nWidthOf52Letters / 26 + 1) / 2, nHeight};
}

int DialogXToPixels(int x, const CBaseUnits& base) { return MulDivRound(x, base.cx, 4); }

int DialogYToPixels(int y, const CBaseUnits& base) { return MulDivRound(y, base.cy, 8); }

CPixelRect DialogToPixels(int x, int y, int cx, int cy, const CBaseUnits& base) {
  // The far edges are converted, not the sizes, so that neighbouring controls stay flush.
  const int nLeft = DialogXToPixels(x, base);
  const int nTop = DialogYToPixels(y, base);
  const int nRight = DialogXToPixels(x + cx, base);
  const int nBottom = DialogYToPixels(y + cy, base);
  return CPixelRect{nLeft, nTop, nRight - nLeft, nBottom - nTop};
}

}  // namespace velda::qt
