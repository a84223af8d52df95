// What a progress bar draws for a progress control's state: the filled part is
// (pos - lower) / (upper - lower). An empty range (upper <= lower) draws an empty bar, where
// QProgressBar would otherwise show its busy animation.
#pragma once

#include "fw/controls.h"

namespace velda::qt {

struct CBarRange {
  int nMinimum = 0;
  int nMaximum = 1;
  int nValue = 0;
  friend bool operator==(const CBarRange&, const CBarRange&) = default;
};

CBarRange BarRangeOf(const fw::CProgressState& st);

}  // namespace velda::qt
