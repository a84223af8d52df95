#include "fw/controls.h"

#include <algorithm>

namespace fw {

namespace {

int Clamp(const CProgressState& st, long long v) {
  if (st.nUpper <= st.nLower) {
    return st.nLower;
  }
  return static_cast<int>(std::clamp<long long>(v, st.nLower, st.nUpper));
}

}  // namespace

CControlTemplate MakeControl(int nId, EControlKind eKind, const char* pszText, int x, int y, int cx, int cy,
                             bool bVisible, bool bEnabled) {
  CControlTemplate c;
  c.nId = nId;
  c.eKind = eKind;
  c.strText = pszText;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  c.bVisible = bVisible;
  c.bEnabled = bEnabled;
  return c;
}

std::map<int, CControlState> InitialControlStates(const CDialogTemplate& tmpl) {
  std::map<int, CControlState> controls;
  for (const CControlTemplate& ct : tmpl.aControls) {
    if (ct.nId < 0) {
      continue;
    }
    CControlState& st = controls[ct.nId];
    st.tmpl = ct;
    st.strText = ct.strText;
    st.bEnabled = ct.bEnabled;
    st.bVisible = ct.bVisible;
  }
  return controls;
}

LRESULT ApplyProgressMessage(CProgressState& st, UINT msg, WPARAM wParam, LPARAM lParam) {
  const int nOld = st.nPos;
  switch (msg) {
    case PBM_SETRANGE: {
      // 16-bit limits in the low and high words of lParam; returns the previous range.
      const LRESULT prev = MAKELPARAM(static_cast<WORD>(st.nLower), static_cast<WORD>(st.nUpper));
      st.nLower = LOWORD(static_cast<std::uintptr_t>(lParam));
      st.nUpper = HIWORD(static_cast<std::uintptr_t>(lParam));
      st.nPos = Clamp(st, st.nPos);
      return prev;
    }
    case PBM_SETRANGE32: {
      const LRESULT prev = MAKELPARAM(static_cast<WORD>(st.nLower), static_cast<WORD>(st.nUpper));
      st.nLower = static_cast<int>(wParam);
      st.nUpper = static_cast<int>(lParam);
      st.nPos = Clamp(st, st.nPos);
      return prev;
    }
    case PBM_SETPOS:
      st.nPos = Clamp(st, static_cast<int>(wParam));
      return nOld;
    case PBM_DELTAPOS:
      st.nPos = Clamp(st, static_cast<long long>(st.nPos) + static_cast<int>(wParam));
      return nOld;
    case PBM_SETSTEP: {
      const int nPrev = st.nStep;
      st.nStep = static_cast<int>(wParam);
      return nPrev;
    }
    case PBM_STEPIT:
      st.nPos = Clamp(st, static_cast<long long>(st.nPos) + st.nStep);
      return nOld;
    case PBM_GETPOS:
      return nOld;
    default:
      return 0;
  }
}

}  // namespace fw
