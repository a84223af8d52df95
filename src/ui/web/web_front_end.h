// The page front end: the installer's windows drawn as parts of the web page. Every view call is
// handed to the page's script (window.veldaUi) as JSON; what the user does on the page comes back
// through the exported velda_web_input and is posted to the loop as the user's input.
//
// The page and the installer share the browser's one thread: the page's events run while the
// installer waits, so answers arrive in the order the user gave them.
#pragma once

#include "fw/msgloop.h"
#include "fw/view.h"

namespace velda::web {

// What the page reports (velda_web_input's first argument).
enum class EPageInput { Click = 0, Close = 1, ComboSel = 2, BoxAnswer = 3 };

class CWebFrontEnd : public fw::CFrontEnd {
 public:
  explicit CWebFrontEnd(fw::CMsgLoop& loop);
  ~CWebFrontEnd() override;
  CWebFrontEnd(const CWebFrontEnd&) = delete;
  CWebFrontEnd& operator=(const CWebFrontEnd&) = delete;

  // The front end the page's input goes to (the one made last), or null.
  static CWebFrontEnd* Current();
  void OnPageInput(EPageInput eKind, int nWnd, int nId, int nValue);

  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;
  void OnWindowShown(fw::HWND hWnd, bool bShow) override;
  void OnWindowDestroyed(fw::HWND hWnd) override;
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override;
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override;
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override;
  void CloseMessageBox(int nBoxId, int nAnswer) override;

 private:
  fw::CMsgLoop& m_loop;
};

}  // namespace velda::web
