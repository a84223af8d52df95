#include "fw/wnd.h"

#include <atomic>

namespace fw {

namespace {
std::atomic<CWinApp*> g_pApp{nullptr};
}  // namespace

CWnd::~CWnd() { DestroyWindow(); }

CMsgLoop* CWnd::Loop() const { return m_pLoop; }

BOOL CWnd::CreateFromTemplate(const CDialogTemplate& tmpl) {
  m_pLoop = CMsgLoop::Current();
  if (m_pLoop == nullptr) {
    return FALSE;
  }
  m_hWnd = m_pLoop->RegisterWindow(this);
  m_controls = InitialControlStates(tmpl);
  if (CWinApp* pApp = AfxGetApp()) {
    pApp->OnWindowCreated(this);
  }
  if (CFrontEnd* pFe = m_pLoop->FrontEnd()) {
    pFe->OnWindowCreated(m_hWnd, tmpl);
  }
  return TRUE;
}

void CWnd::ShowWindow(bool bShow) {
  if (m_hWnd == 0) return;
  if (CFrontEnd* pFe = m_pLoop->FrontEnd()) {
    pFe->OnWindowShown(m_hWnd, bShow);
  }
}

void CWnd::DestroyWindow() {
  if (m_hWnd == 0) {
    return;
  }
  OnDestroy();
  const HWND h = m_hWnd;
  m_pLoop->UnregisterWindow(h);
  m_hWnd = 0;
  if (CWinApp* pApp = AfxGetApp()) {
    pApp->OnWindowDestroyed(h);
  }
  if (CFrontEnd* pFe = m_pLoop->FrontEnd()) {
    pFe->OnWindowDestroyed(h);
  }
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommand(wParam, lParam);
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_DEVICECHANGE:
      return OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));
    case WM_CLOSE:
      OnClose();
      return 0;
    default:
      return 0;
  }
}

void CWnd::OnInput(const CInputEvent& ev) {
  switch (ev.eKind) {
    case CInputEvent::EKind::Click: {
      const CControlState* pCtl = GetDlgItem(ev.nId);
      if (pCtl == nullptr || !pCtl->bEnabled || !pCtl->bVisible) {
        return;  // a disabled or hidden button cannot be pressed
      }
      WindowProc(WM_COMMAND, static_cast<WPARAM>(ev.nId), 0);
      return;
    }
    case CInputEvent::EKind::Close:
      // The close box and Esc become the dialog's Cancel command.
      WindowProc(WM_COMMAND, static_cast<WPARAM>(IDCANCEL), 0);
      return;
    case CInputEvent::EKind::ComboSel: {
      const CControlState* pCtl = GetDlgItem(ev.nId);
      if (pCtl == nullptr || !pCtl->bEnabled) {
        return;
      }
      SetComboCurSel(ev.nId, ev.nValue);
      const WPARAM wParam = static_cast<WPARAM>(ev.nId) | (static_cast<WPARAM>(CBN_SELCHANGE) << 16);
      WindowProc(WM_COMMAND, wParam, 0);
      return;
    }
    case CInputEvent::EKind::BoxAnswer:
      return;
  }
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_hWnd == 0) return FALSE;
  return m_pLoop->Post(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nId, UINT nElapseMs) {
  if (m_hWnd == 0) return 0;
  m_pLoop->SetTimer(m_hWnd, nId, nElapseMs);
  return nId;
}

BOOL CWnd::KillTimer(UINT_PTR nId) {
  if (m_hWnd == 0) return FALSE;
  return m_pLoop->KillTimer(m_hWnd, nId);
}

int CWnd::MessageBox(const CString& strText, const CString& strCaption, UINT uType) {
  CMsgLoop* pLoop = m_pLoop != nullptr ? m_pLoop : CMsgLoop::Current();
  if (pLoop == nullptr) return IDOK;
  return pLoop->MessageBox(m_hWnd, strText, strCaption, uType);
}

const CControlState* CWnd::GetDlgItem(int nId) const {
  const auto it = m_controls.find(nId);
  return it == m_controls.end() ? nullptr : &it->second;
}

void CWnd::NotifyControl(int nId) {
  const auto it = m_controls.find(nId);
  if (it == m_controls.end() || m_pLoop == nullptr) return;
  if (CFrontEnd* pFe = m_pLoop->FrontEnd()) {
    pFe->OnControlChanged(m_hWnd, it->second);
  }
}

void CWnd::SetDlgItemText(int nId, const CString& strText) {
  const auto it = m_controls.find(nId);
  if (it == m_controls.end()) return;
  it->second.strText = strText;
  NotifyControl(nId);
}

CString CWnd::GetDlgItemText(int nId) const {
  const CControlState* pCtl = GetDlgItem(nId);
  return pCtl == nullptr ? CString() : pCtl->strText;
}

void CWnd::EnableDlgItem(int nId, bool bEnable) {
  const auto it = m_controls.find(nId);
  if (it == m_controls.end()) return;
  it->second.bEnabled = bEnable;
  NotifyControl(nId);
}

bool CWnd::IsDlgItemEnabled(int nId) const {
  const CControlState* pCtl = GetDlgItem(nId);
  return pCtl != nullptr && pCtl->bEnabled;
}

void CWnd::UpdateDlgItem(int nId) { NotifyControl(nId); }

LRESULT CWnd::SendDlgItemMessage(int nId, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto it = m_controls.find(nId);
  if (it == m_controls.end() || it->second.tmpl.eKind != EControlKind::Progress) return 0;
  const LRESULT r = ApplyProgressMessage(it->second.progress, message, wParam, lParam);
  NotifyControl(nId);
  return r;
}

void CWnd::SetIcon(int nIconId, bool bBig) {
  if (m_hWnd == 0) return;
  if (CFrontEnd* pFe = m_pLoop->FrontEnd()) {
    pFe->OnWindowIcon(m_hWnd, nIconId, bBig);
  }
}

int CWnd::AddComboString(int nId, const CString& str) {
  const auto it = m_controls.find(nId);
  if (it == m_controls.end()) return -1;
  it->second.aItems.push_back(str);
  NotifyControl(nId);
  return static_cast<int>(it->second.aItems.size()) - 1;
}

void CWnd::SetComboCurSel(int nId, int nSel) {
  const auto it = m_controls.find(nId);
  if (it == m_controls.end()) return;
  // A position past the end leaves no entry selected.
  it->second.nCurSel = (nSel >= 0 && nSel < static_cast<int>(it->second.aItems.size())) ? nSel : -1;
  NotifyControl(nId);
}

int CWnd::GetComboCurSel(int nId) const {
  const CControlState* pCtl = GetDlgItem(nId);
  return pCtl == nullptr ? -1 : pCtl->nCurSel;
}

BOOL CWnd::OnCommand(WPARAM /*wParam*/, LPARAM /*lParam*/) { return FALSE; }
void CWnd::OnTimer(UINT_PTR /*nIDEvent*/) {}
BOOL CWnd::OnDeviceChange(UINT /*nEventType*/, DWORD_PTR /*dwData*/) { return FALSE; }
void CWnd::OnClose() { DestroyWindow(); }
void CWnd::OnDestroy() {}

int CDialog::DoModal() {
  if (!CreateFromTemplate(m_tmpl)) {
    return -1;
  }
  m_bEnded = false;
  OnInitDialog();
  int nResult = IDABORT;
  if (!m_bEnded) {
    ShowWindow(true);
  }
  m_pLoop->PushModal(m_hWnd);
  if (m_pLoop->RunModal([this] { return m_bEnded; })) {
    nResult = m_nResult;
  }
  m_pLoop->PopModal();
  ShowWindow(false);
  DestroyWindow();
  return nResult;
}

void CDialog::EndDialog(int nResult) {
  m_nResult = nResult;
  m_bEnded = true;
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange(false);
  return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM /*lParam*/) {
  switch (wParam) {
    case static_cast<WPARAM>(IDOK):
      OnOK();
      return TRUE;
    case static_cast<WPARAM>(IDCANCEL):
      OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

CWinApp::CWinApp(CMsgLoop& loop, const CString& strTitle) : m_loop(loop), m_strTitle(strTitle) { g_pApp.store(this); }

CWinApp::~CWinApp() {
  CWinApp* pSelf = this;
  g_pApp.compare_exchange_strong(pSelf, nullptr);
}

void CWinApp::SetMainWnd(CWnd* pWnd) {
  m_pMainWnd = pWnd;
  m_hMainWnd.store(pWnd != nullptr ? pWnd->GetSafeHwnd() : 0);
}

void CWinApp::OnWindowCreated(CWnd* pWnd) {
  if (m_pMainWnd == pWnd) {
    m_hMainWnd.store(pWnd->GetSafeHwnd());
  }
}

void CWinApp::OnWindowDestroyed(HWND hWnd) {
  if (m_hMainWnd.load() == hWnd) {
    m_hMainWnd.store(0);
    m_pMainWnd = nullptr;
  }
}

CWinApp* AfxGetApp() { return g_pApp.load(); }

BOOL PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam) {
  CWinApp* pApp = AfxGetApp();
  if (pApp == nullptr) return FALSE;
  const HWND h = pApp->GetMainHwnd();
  if (h == 0) return FALSE;
  return pApp->Loop().Post(h, message, wParam, lParam);
}

int AfxMessageBox(const CString& strText, UINT uType) {
  CWinApp* pApp = AfxGetApp();
  if ((uType & MB_ICONMASK) == 0) {
    uType |= MB_ICONEXCLAMATION;
  }
  if (pApp == nullptr) return IDOK;
  CWnd* pMain = pApp->GetMainWnd();
  return pApp->Loop().MessageBox(pMain != nullptr ? pMain->GetSafeHwnd() : 0, strText, pApp->Title(), uType);
}

}  // namespace fw
