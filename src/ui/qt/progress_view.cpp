#include "ui/qt/progress_view.h"

#include <algorithm>

namespace velda::qt {

CBarRange BarRangeOf(const fw::CProgressState& st) {
  if (st.nUpper <= st.nLower) {
    return CBarRange{0, 1, 0};
  }
  return CBarRange{st.nLower, st.nUpper, std::clamp(st.nPos, st.nLower, st.nUpper)};
}

}  // namespace velda::qt
