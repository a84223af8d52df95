#include "ui/win32/win32_front_end.h"

#include "shell/resource.h"
#include "shell/texts.h"
// After the project's headers: it brings <windows.h>.
#include "ui/win32/win32_ui.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "fw/trace.h"

namespace velda::win32 {

namespace {

constexpr UINT WM_RELAY_CALL = WM_APP + 1;
constexpr char RELAY_CLASS[] = "VeldaInstallerRelay";

thread_local CWin32Ui* g_pUi = nullptr;  // the UI thread's object, for the window procedures

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

CWin32Ui::FnMessageBox g_pfnMessageBox = nullptr;
CWin32Ui::FnPostMessage g_pfnPostMessage = nullptr;

int SystemMessageBox(HWND hOwner, LPCSTR pszText, LPCSTR pszCaption, UINT uType) {
  return g_pfnMessageBox != nullptr ? g_pfnMessageBox(hOwner, pszText, pszCaption, uType)
                                    : ::MessageBoxA(hOwner, pszText, pszCaption, uType);
}

BOOL SystemPostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return g_pfnPostMessage != nullptr ? g_pfnPostMessage(hWnd, message, wParam, lParam)
                                     : ::PostMessageA(hWnd, message, wParam, lParam);
}

// A posting refused for a full queue is tried again this often, 10 ms apart.
constexpr int POST_ATTEMPTS = 200;

// A dialog template from the resources, made hidden: the installer shows its windows when it says
// so (the main window only after the start-up questions and pause).
std::vector<BYTE> LoadHiddenTemplate(int nTemplateId) {
  std::vector<BYTE> a;
  HRSRC hRes = ::FindResourceA(Instance(), MAKEINTRESOURCEA(nTemplateId), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (hRes == nullptr) return a;
  HGLOBAL hData = ::LoadResource(Instance(), hRes);
  const void* p = hData != nullptr ? ::LockResource(hData) : nullptr;
  if (p == nullptr) return a;
  a.resize(::SizeofResource(Instance(), hRes));
  std::memcpy(a.data(), p, a.size());
  // DLGTEMPLATEEX starts with version 1 and 0xFFFF, its style at byte 12; DLGTEMPLATE at byte 0.
  WORD aHead[2] = {};
  std::memcpy(aHead, a.data(), sizeof aHead);
  const std::size_t nStyleAt = (aHead[0] == 1 && aHead[1] == 0xFFFF) ? 12 : 0;
  ::DWORD dwStyle = 0;
  std::memcpy(&dwStyle, a.data() + nStyleAt, sizeof dwStyle);
  dwStyle &= ~static_cast<::DWORD>(WS_VISIBLE);
  std::memcpy(a.data() + nStyleAt, &dwStyle, sizeof dwStyle);
  return a;
}

std::string WindowText(HWND h) {
  const int n = ::GetWindowTextLengthA(h);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  ::GetWindowTextA(h, s.data(), n + 1);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

}  // namespace

CWin32Ui::CWin32Ui(fw::CMsgLoop& loop) : m_loop(loop) {}

CWin32Ui::~CWin32Ui() {
  for (auto& [hFw, e] : m_dialogs) {
    if (e.hWnd != nullptr) ::DestroyWindow(e.hWnd);
  }
  if (m_hRelay != nullptr) {
    // Calls that came too late are dropped, their payload freed.
    MSG msg;
    while (::PeekMessageA(&msg, m_hRelay, WM_RELAY_CALL, WM_RELAY_CALL, PM_REMOVE) != 0) {
      delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    }
    ::DestroyWindow(m_hRelay);
  }
  if (g_pUi == this) g_pUi = nullptr;
}

bool CWin32Ui::Create() {
  g_pUi = this;
  WNDCLASSA wc{};
  wc.lpfnWndProc = RelayProc;
  wc.hInstance = Instance();
  wc.lpszClassName = RELAY_CLASS;
  ::RegisterClassA(&wc);  // fails harmlessly when a previous run registered it
  m_hRelay = ::CreateWindowExA(0, RELAY_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(), nullptr);
  return m_hRelay != nullptr;
}

void CWin32Ui::UseSystemFunctions(FnMessageBox pfnMessageBox, FnPostMessage pfnPostMessage) {
  g_pfnMessageBox = pfnMessageBox;
  g_pfnPostMessage = pfnPostMessage;
}

bool CWin32Ui::RunOnUiThread(std::function<void()> fn, const std::function<void()>& fnDropped) {
  auto* p = new std::function<void()>(std::move(fn));
  ::DWORD dwError = ERROR_INVALID_WINDOW_HANDLE;
  for (int i = 0; m_hRelay != nullptr && i < POST_ATTEMPTS; ++i) {
    if (SystemPostMessage(m_hRelay, WM_RELAY_CALL, 0, reinterpret_cast<LPARAM>(p)) != 0) return true;
    dwError = ::GetLastError();
    // Only a full queue empties again; a window that is gone stays gone.
    if (dwError != ERROR_NOT_ENOUGH_QUOTA) break;
    ::Sleep(10);
  }
  delete p;
  TraceNote("A call to the window thread could not be posted (error " + std::to_string(dwError) + ")");
  if (fnDropped) fnDropped();
  return false;
}

void CWin32Ui::AnswerUnshownBox(int nBoxId) { m_loop.PostInput(fw::CInputEvent::BoxAnswer(nBoxId, IDCANCEL)); }

void CWin32Ui::Quit() {
  RunOnUiThread([] { ::PostQuitMessage(0); });
}

void ShowStartFailure(const std::string& strText) {
  SystemMessageBox(nullptr, strText.c_str(), TXT_APP_TITLE, MB_OK | MB_ICONSTOP);
}

void CWin32Ui::Run() {
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    const HWND hRoot = msg.hwnd != nullptr ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (hRoot != nullptr && m_byReal.count(hRoot) != 0 && ::IsDialogMessageA(hRoot, &msg) != 0) {
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

LRESULT CALLBACK CWin32Ui::RelayProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_RELAY_CALL) {
    std::unique_ptr<std::function<void()>> p(reinterpret_cast<std::function<void()>*>(lParam));
    (*p)();
    return 0;
  }
  return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

CWin32Ui::CDialogEntry* CWin32Ui::EntryOf(fw::HWND hFw) {
  auto it = m_dialogs.find(hFw);
  return it != m_dialogs.end() && it->second.hWnd != nullptr ? &it->second : nullptr;
}

fw::HWND CWin32Ui::FwOf(HWND hDlg) const {
  auto it = m_byReal.find(hDlg);
  return it != m_byReal.end() ? it->second : 0;
}

HWND CWin32Ui::RealOf(fw::HWND hFw) const {
  auto it = m_dialogs.find(hFw);
  return it != m_dialogs.end() ? it->second.hWnd : nullptr;
}

void CWin32Ui::CreateDialogFor(fw::HWND hFw, int nTemplateId) {
  const std::vector<BYTE> aTemplate = LoadHiddenTemplate(nTemplateId);
  if (aTemplate.empty()) return;
  // A dialog other than the main window is owned by the main window, as the framework's are.
  HWND hOwner = nullptr;
  for (const auto& [h, e] : m_dialogs) {
    if (e.hWnd != nullptr && e.nTemplateId != nTemplateId) {
      hOwner = e.hWnd;
      break;
    }
  }
  m_dialogs[hFw].nTemplateId = nTemplateId;
  m_hCreating = hFw;
  const HWND hDlg = ::CreateDialogIndirectParamA(Instance(), reinterpret_cast<LPCDLGTEMPLATEA>(aTemplate.data()),
                                                 hOwner, DialogProc, 0);
  m_hCreating = 0;
  if (hDlg == nullptr) {
    m_dialogs.erase(hFw);
    return;
  }
  m_dialogs[hFw].hWnd = hDlg;
  m_dialogs[hFw].hOwner = hOwner;
  m_byReal[hDlg] = hFw;
}

void CWin32Ui::ShowDialog(fw::HWND hFw, bool bShow) {
  CDialogEntry* e = EntryOf(hFw);
  if (e == nullptr) return;
  // The owner takes no input while its dialog is up, and shows it (re-enabled before the hide, so
  // that the system activates it again).
  if (e->hOwner != nullptr && bShow) ::EnableWindow(e->hOwner, FALSE);
  if (e->hOwner != nullptr && !bShow) ::EnableWindow(e->hOwner, TRUE);
  ::ShowWindow(e->hWnd, bShow ? SW_SHOW : SW_HIDE);
  if (bShow) {
    ::SetForegroundWindow(e->hWnd);
    ::UpdateWindow(e->hWnd);
  }
}

void CWin32Ui::DestroyDialog(fw::HWND hFw) {
  auto it = m_dialogs.find(hFw);
  if (it == m_dialogs.end()) return;
  const HWND hDlg = it->second.hWnd;
  const HWND hOwner = it->second.hOwner;
  m_dialogs.erase(it);
  if (hOwner != nullptr && hDlg != nullptr && ::IsWindowVisible(hDlg) != 0) ::EnableWindow(hOwner, TRUE);
  if (hDlg != nullptr) {
    m_byReal.erase(hDlg);
    ::DestroyWindow(hDlg);
  }
}

void CWin32Ui::SetIcon(fw::HWND hFw, int nIconId, bool bBig) {
  CDialogEntry* e = EntryOf(hFw);
  if (e == nullptr) return;
  const int cx = ::GetSystemMetrics(bBig ? SM_CXICON : SM_CXSMICON);
  const int cy = ::GetSystemMetrics(bBig ? SM_CYICON : SM_CYSMICON);
  auto hIcon = static_cast<HICON>(
      ::LoadImageA(Instance(), MAKEINTRESOURCEA(nIconId), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR | LR_SHARED));
  if (hIcon == nullptr) return;
  ::SendMessageA(e->hWnd, WM_SETICON, bBig ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
  if (bBig) e->hIcon = hIcon;
}

void CWin32Ui::ApplyControl(fw::HWND hFw, const fw::CControlState& ctl) {
  CDialogEntry* e = EntryOf(hFw);
  if (e == nullptr) return;
  const HWND hCtl = ::GetDlgItem(e->hWnd, ctl.tmpl.nId);
  if (hCtl == nullptr) return;
  switch (ctl.tmpl.eKind) {
    case fw::EControlKind::Progress:
      ::SendMessageA(hCtl, PBM_SETRANGE32, static_cast<WPARAM>(ctl.progress.nLower), ctl.progress.nUpper);
      ::SendMessageA(hCtl, PBM_SETSTEP, static_cast<WPARAM>(ctl.progress.nStep), 0);
      ::SendMessageA(hCtl, PBM_SETPOS, static_cast<WPARAM>(ctl.progress.nPos), 0);
      break;
    case fw::EControlKind::Combo: {
      std::vector<std::string> aItems;
      for (const fw::CString& s : ctl.aItems) aItems.emplace_back(s.GetString());
      std::vector<std::string>& aShown = e->comboItems[ctl.tmpl.nId];
      if (aItems != aShown) {
        ::SendMessageA(hCtl, CB_RESETCONTENT, 0, 0);
        for (const std::string& s : aItems) ::SendMessageA(hCtl, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
        aShown = aItems;
      }
      ::SendMessageA(hCtl, CB_SETCURSEL, static_cast<WPARAM>(ctl.nCurSel), 0);
      break;
    }
    default:
      if (WindowText(hCtl) != ctl.strText.GetString()) ::SetWindowTextA(hCtl, ctl.strText.GetString());
      break;
  }
  if ((::IsWindowEnabled(hCtl) != 0) != ctl.bEnabled) ::EnableWindow(hCtl, ctl.bEnabled ? TRUE : FALSE);
  const bool bVisible = (::GetWindowLongA(hCtl, GWL_STYLE) & WS_VISIBLE) != 0;
  if (bVisible != ctl.bVisible) ::ShowWindow(hCtl, ctl.bVisible ? SW_SHOWNA : SW_HIDE);
  // Drawn at once: the installer's thread may be busy for a while after this change.
  ::UpdateWindow(hCtl);
}

LRESULT CALLBACK CWin32Ui::BoxHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
  CWin32Ui* p = g_pUi;
  if (p != nullptr && nCode == HCBT_ACTIVATE && p->m_nHookedBox != 0) {
    const auto hBox = reinterpret_cast<HWND>(wParam);
    if (p->m_byReal.count(hBox) == 0) {
      p->m_boxWindows[p->m_nHookedBox] = hBox;
      p->m_nHookedBox = 0;
    }
  }
  return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

void CWin32Ui::RunMessageBox(int nBoxId, fw::HWND hOwner, const std::string& strText, const std::string& strCaption,
                             UINT uType) {
  m_openBoxes.insert(nBoxId);
  m_nHookedBox = nBoxId;
  const HHOOK hHook = ::SetWindowsHookExA(WH_CBT, BoxHookProc, nullptr, ::GetCurrentThreadId());
  const int nAnswer = SystemMessageBox(RealOf(hOwner), strText.c_str(), strCaption.c_str(), uType);
  const ::DWORD dwError = nAnswer == 0 ? ::GetLastError() : 0;
  if (hHook != nullptr) ::UnhookWindowsHookEx(hHook);
  if (nAnswer == 0) {
    // Never shown, so never confirmed: answered as Cancel, which ends what asked.
    TraceNote("A message box could not be shown (error " + std::to_string(dwError) + "): \"" + strText +
              "\" answered Cancel");
  }
  m_nHookedBox = 0;
  m_boxWindows.erase(nBoxId);
  if (m_openBoxes.erase(nBoxId) != 0) {
    m_loop.PostInput(fw::CInputEvent::BoxAnswer(nBoxId, nAnswer == IDCANCEL || nAnswer == 0 ? IDCANCEL : IDOK));
  }
}

void CWin32Ui::CloseBox(int nBoxId) {
  if (m_openBoxes.erase(nBoxId) == 0) return;
  auto it = m_boxWindows.find(nBoxId);
  if (it != m_boxWindows.end()) ::EndDialog(it->second, IDCANCEL);
}

INT_PTR CALLBACK CWin32Ui::DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  CWin32Ui* p = g_pUi;
  if (p == nullptr) return FALSE;
  if (message == WM_INITDIALOG) {
    p->m_byReal[hDlg] = p->m_hCreating;
    CDialogEntry& e = p->m_dialogs[p->m_hCreating];
    e.hWnd = hDlg;
    // The port dialog lets the system focus its first control; the main window moves no focus.
    return e.nTemplateId == IDD_PORT_SELECT ? TRUE : FALSE;
  }
  return p->OnDialogMessage(hDlg, message, wParam, lParam);
}

INT_PTR CWin32Ui::OnDialogMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  const fw::HWND hFw = FwOf(hDlg);
  const CDialogEntry* e = EntryOf(hFw);
  if (e == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const int nId = LOWORD(wParam);
      const int nCode = HIWORD(wParam);
      if (nId == IDCANCEL && nCode == BN_CLICKED) {
        // Esc, and the close box through WM_CLOSE below.
        m_loop.PostInput(fw::CInputEvent::Close(hFw));
      } else if (nCode == BN_CLICKED) {
        m_loop.PostInput(fw::CInputEvent::Click(hFw, nId));
      } else if (nCode == CBN_SELCHANGE) {
        const auto nSel = static_cast<int>(::SendMessageA(reinterpret_cast<HWND>(lParam), CB_GETCURSEL, 0, 0));
        m_loop.PostInput(fw::CInputEvent::ComboSel(hFw, nId, nSel));
      }
      return TRUE;
    }
    case WM_CLOSE:
      m_loop.PostInput(fw::CInputEvent::Close(hFw));
      return TRUE;
    case WM_DEVICECHANGE:
      // The installer's loop decides what a device change means.
      m_loop.Post(hFw, WM_DEVICECHANGE, wParam, lParam);
      ::SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_PAINT:
      if (::IsIconic(hDlg) != 0) {
        OnPaintMinimised(hDlg, *e);
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(e->hIcon);
    default:
      return FALSE;
  }
}

// The minimised window shows its icon centred in the client area.
void CWin32Ui::OnPaintMinimised(HWND hDlg, const CDialogEntry& e) {
  PAINTSTRUCT ps;
  const HDC hdc = ::BeginPaint(hDlg, &ps);
  ::SendMessageA(hDlg, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  RECT rc;
  ::GetClientRect(hDlg, &rc);
  const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  if (e.hIcon != nullptr) ::DrawIcon(hdc, x, y, e.hIcon);
  ::EndPaint(hDlg, &ps);
}

}  // namespace velda::win32
