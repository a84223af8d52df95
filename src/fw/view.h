// The view: what the framework tells a front end, and how the front end answers. Every call
// comes from the installer's thread; a front end with a thread of its own marshals it there.
// Answers (button clicks, the close box, message-box answers, combo choices) go back through
// CMsgLoop::PostInput. Not to be confused with fw/cview.h, the view class of the MIDI transport.
#pragma once

#include "fw/controls.h"
#include "fw/cstring.h"
#include "fw/types.h"

namespace fw {

class CFrontEnd {
 public:
  virtual ~CFrontEnd() = default;

  virtual void OnWindowCreated(HWND hWnd, const CDialogTemplate& tmpl) = 0;
  virtual void OnWindowShown(HWND hWnd, bool bShow) = 0;
  virtual void OnWindowDestroyed(HWND hWnd) = 0;
  virtual void OnWindowIcon(HWND hWnd, int nIconId, bool bBig) = 0;
  // A control's text, enabled state, progress or list changed; it is drawn at once.
  virtual void OnControlChanged(HWND hWnd, const CControlState& ctl) = 0;
  // A modal message box; answer with CInputEvent::BoxAnswer(nBoxId, IDOK or IDCANCEL).
  virtual void ShowMessageBox(int nBoxId, HWND hOwner, const CString& strText, const CString& strCaption,
                              UINT uType) = 0;
  // The box was answered with nAnswer (IDOK, IDCANCEL; IDCANCEL too when the run ended) and is gone.
  virtual void CloseMessageBox(int nBoxId, int nAnswer) = 0;
};

// What the user does, as the loop receives it.
struct CInputEvent {
  enum class EKind {
    Click,      // a push button: nId
    Close,      // the title bar's close box or Esc
    ComboSel,   // a combo box entry chosen: nId, nValue = position
    BoxAnswer,  // message box nBox answered with nValue
  };
  EKind eKind = EKind::Click;
  HWND hWnd = 0;
  int nId = 0;
  int nValue = 0;

  static CInputEvent Click(HWND h, int id) { return {EKind::Click, h, id, 0}; }
  static CInputEvent Close(HWND h) { return {EKind::Close, h, 0, 0}; }
  static CInputEvent ComboSel(HWND h, int id, int pos) { return {EKind::ComboSel, h, id, pos}; }
  static CInputEvent BoxAnswer(int nBox, int nAnswer) { return {EKind::BoxAnswer, 0, nBox, nAnswer}; }
};

}  // namespace fw
