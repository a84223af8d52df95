// Windows, dialogs and the application object of the framework layer: a window owns the state of
// its controls and tells the front end of every change; a dialog runs modally in its own loop.
#pragma once

#include <atomic>
#include <map>

#include "fw/controls.h"
#include "fw/cstring.h"
#include "fw/msgloop.h"
#include "fw/types.h"
#include "fw/view.h"

namespace fw {

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }

  // Creates the window and its controls from a template, hidden; the front end is told.
  BOOL CreateFromTemplate(const CDialogTemplate& tmpl);
  void ShowWindow(bool bShow);
  void DestroyWindow();

  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void OnInput(const CInputEvent& ev);

  BOOL PostMessage(UINT message, WPARAM wParam, LPARAM lParam);
  UINT_PTR SetTimer(UINT_PTR nId, UINT nElapseMs);
  BOOL KillTimer(UINT_PTR nId);
  int MessageBox(const CString& strText, const CString& strCaption, UINT uType);

  // Controls.
  const CControlState* GetDlgItem(int nId) const;
  void SetDlgItemText(int nId, const CString& strText);
  CString GetDlgItemText(int nId) const;
  void EnableDlgItem(int nId, bool bEnable);
  bool IsDlgItemEnabled(int nId) const;
  // Repaints a control at once; the front end draws every change immediately, so this only
  // tells it again.
  void UpdateDlgItem(int nId);
  LRESULT SendDlgItemMessage(int nId, UINT message, WPARAM wParam, LPARAM lParam);
  void SetIcon(int nIconId, bool bBig);
  // Combo boxes.
  int AddComboString(int nId, const CString& str);
  void SetComboCurSel(int nId, int nSel);
  int GetComboCurSel(int nId) const;

 protected:
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void OnTimer(UINT_PTR nIDEvent);
  virtual BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
  virtual void OnClose();
  virtual void OnDestroy();

  CMsgLoop* Loop() const;
  void NotifyControl(int nId);

  HWND m_hWnd = 0;
  CMsgLoop* m_pLoop = nullptr;
  std::map<int, CControlState> m_controls;
};

class CDialog : public CWnd {
 public:
  explicit CDialog(const CDialogTemplate& tmpl) : m_tmpl(tmpl) {}

  // Creates the dialog, initialises it, shows it, runs its loop until it ends, destroys it.
  // IDABORT when the loop was aborted.
  int DoModal();
  void EndDialog(int nResult);
  bool IsEnded() const { return m_bEnded; }

  virtual BOOL OnInitDialog();
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

 protected:
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnClose() override { OnCancel(); }
  // Moves data between the controls and members; run by OnInitDialog.
  virtual void DoDataExchange(bool /*bSave*/) {}

  CDialogTemplate m_tmpl;
  bool m_bEnded = false;
  int m_nResult = 0;
};

// The application object: its loop, its main window and its title.
class CWinApp {
 public:
  CWinApp(CMsgLoop& loop, const CString& strTitle);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() = 0;

  CMsgLoop& Loop() const { return m_loop; }
  const CString& Title() const { return m_strTitle; }
  void SetMainWnd(CWnd* pWnd);
  CWnd* GetMainWnd() const { return m_pMainWnd; }
  // The main window's handle, readable from any thread (0 when there is none).
  HWND GetMainHwnd() const { return m_hMainWnd.load(); }
  void OnWindowCreated(CWnd* pWnd);
  void OnWindowDestroyed(HWND hWnd);

 private:
  CMsgLoop& m_loop;
  CString m_strTitle;
  CWnd* m_pMainWnd = nullptr;
  std::atomic<HWND> m_hMainWnd{0};
};

CWinApp* AfxGetApp();
// Posts to the application's main window from any thread: FALSE when there is none.
BOOL PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam);
// A message box on the main window with the application's title as caption; a box without an
// icon of its own gets the exclamation icon, as the framework's message box does.
int AfxMessageBox(const CString& strText, UINT uType);

}  // namespace fw
