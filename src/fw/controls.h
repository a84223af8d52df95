// What a window's controls hold: the state a front end draws. Dialog templates describe the
// controls in dialog units; the framework keeps their state and tells the front end of changes.
#pragma once

#include <map>
#include <vector>

#include "fw/cstring.h"
#include "fw/types.h"

namespace fw {

enum class EControlKind { Button, Static, Edit, Progress, Combo };

struct CControlTemplate {
  int nId = 0;  // -1 for a label without an id
  EControlKind eKind = EControlKind::Static;
  CString strText;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  bool bVisible = true;
  bool bEnabled = true;
  bool bDefault = false;  // default push button
};

// One control of a template, as a resource script writes it.
CControlTemplate MakeControl(int nId, EControlKind eKind, const char* pszText, int x, int y, int cx, int cy,
                             bool bVisible = true, bool bEnabled = true);

struct CDialogTemplate {
  int nId = 0;
  CString strCaption;
  int cx = 0, cy = 0;  // dialog units
  CString strFont;
  int nPointSize = 0;
  bool bSystemMenu = false;  // close box in the title bar
  std::vector<CControlTemplate> aControls;
};

// Progress-bar state with the progress control's rules: the position stays within the range.
struct CProgressState {
  int nLower = 0;
  int nUpper = 100;
  int nPos = 0;
  int nStep = 10;
};

// Applies one PBM_* message; returns what the control returns (the previous position or range).
LRESULT ApplyProgressMessage(CProgressState& st, UINT msg, WPARAM wParam, LPARAM lParam);

struct CControlState {
  CControlTemplate tmpl;
  CString strText;
  bool bEnabled = true;
  bool bVisible = true;
  CProgressState progress;
  std::vector<CString> aItems;  // combo boxes
  int nCurSel = -1;
};

// The states a window's controls start with, by id, as its template gives them; labels without
// an id hold none.
std::map<int, CControlState> InitialControlStates(const CDialogTemplate& tmpl);

}  // namespace fw
