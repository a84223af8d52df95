// The UI thread's side of the Windows front end: the real dialogs behind the framework's window
// handles. Every member runs on the UI thread except RunOnUiThread and Quit. Include it after
// every project header: <windows.h> defines macros that clash with the framework's names.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fw/controls.h"
#include "fw/msgloop.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace velda::win32 {

class CWin32Ui {
 public:
  explicit CWin32Ui(fw::CMsgLoop& loop);
  ~CWin32Ui();
  CWin32Ui(const CWin32Ui&) = delete;
  CWin32Ui& operator=(const CWin32Ui&) = delete;

  // Makes the thread's relay window; false when it cannot be made.
  bool Create();
  // Any thread: fn runs on the UI thread, also inside a message box's loop. A full queue is waited
  // out for a while; a call that still cannot be handed over is traced, fnDropped runs on the
  // calling thread instead (so that nobody waits for it), and false is returned.
  bool RunOnUiThread(std::function<void()> fn, const std::function<void()>& fnDropped = {});
  // Any thread: Run returns.
  void Quit();
  // The UI thread's message loop, with the dialogs' keyboard handling (Esc, Tab, Enter).
  void Run();

  void CreateDialogFor(fw::HWND hFw, int nTemplateId);
  void ShowDialog(fw::HWND hFw, bool bShow);
  void DestroyDialog(fw::HWND hFw);
  void SetIcon(fw::HWND hFw, int nIconId, bool bBig);
  void ApplyControl(fw::HWND hFw, const fw::CControlState& ctl);
  // A message box; its answer goes to the installer's loop unless CloseBox came first.
  void RunMessageBox(int nBoxId, fw::HWND hOwner, const std::string& strText, const std::string& strCaption,
                     UINT uType);
  void CloseBox(int nBoxId);
  // Any thread: a box that never reached the UI thread is answered as Cancel.
  void AnswerUnshownBox(int nBoxId);

  // The system's functions the UI calls where they can fail; tests put failing ones in (null: the
  // system's own).
  using FnMessageBox = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
  using FnPostMessage = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
  static void UseSystemFunctions(FnMessageBox pfnMessageBox, FnPostMessage pfnPostMessage);
  // The real window behind a framework handle (null when none).
  HWND RealWindowOf(fw::HWND hFw) const { return RealOf(hFw); }

 private:
  struct CDialogEntry {
    HWND hWnd = nullptr;
    int nTemplateId = 0;
    HICON hIcon = nullptr;  // the large icon: the minimised window paints it
    HWND hOwner = nullptr;  // disabled while this dialog shows, as a modal dialog's owner is
    std::map<int, std::vector<std::string>> comboItems;
  };

  static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK RelayProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK BoxHookProc(int nCode, WPARAM wParam, LPARAM lParam);
  INT_PTR OnDialogMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaintMinimised(HWND hDlg, const CDialogEntry& e);
  CDialogEntry* EntryOf(fw::HWND hFw);
  fw::HWND FwOf(HWND hDlg) const;
  HWND RealOf(fw::HWND hFw) const;

  fw::CMsgLoop& m_loop;
  HWND m_hRelay = nullptr;
  std::map<fw::HWND, CDialogEntry> m_dialogs;
  std::map<HWND, fw::HWND> m_byReal;
  fw::HWND m_hCreating = 0;          // the dialog being made (its WM_INITDIALOG)
  std::set<int> m_openBoxes;         // boxes shown and not yet answered
  std::map<int, HWND> m_boxWindows;  // their windows, once shown
  int m_nHookedBox = 0;              // the box whose window the hook waits for
  HHOOK m_hBoxHook = nullptr;
};

}  // namespace velda::win32
