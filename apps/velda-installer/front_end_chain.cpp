#include "front_end_chain.h"

#include "shell/installer_dlg.h"
#include "shell/steps.h"

namespace velda::app {

void CFrontEndForwarder::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  if (m_pNext != nullptr) m_pNext->OnWindowCreated(hWnd, tmpl);
}
void CFrontEndForwarder::OnWindowShown(fw::HWND hWnd, bool bShow) {
  if (m_pNext != nullptr) m_pNext->OnWindowShown(hWnd, bShow);
}
void CFrontEndForwarder::OnWindowDestroyed(fw::HWND hWnd) {
  if (m_pNext != nullptr) m_pNext->OnWindowDestroyed(hWnd);
}
void CFrontEndForwarder::OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) {
  if (m_pNext != nullptr) m_pNext->OnWindowIcon(hWnd, nIconId, bBig);
}
void CFrontEndForwarder::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  if (m_pNext != nullptr) m_pNext->OnControlChanged(hWnd, ctl);
}
void CFrontEndForwarder::ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText,
                                        const fw::CString& strCaption, fw::UINT uType) {
  if (m_pNext != nullptr) m_pNext->ShowMessageBox(nBoxId, hOwner, strText, strCaption, uType);
}
void CFrontEndForwarder::CloseMessageBox(int nBoxId, int nAnswer) {
  if (m_pNext != nullptr) m_pNext->CloseMessageBox(nBoxId, nAnswer);
}

void COutcomeTap::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  if (tmpl.nId == IDD_INSTALLER) {
    if (CInstallerDlg* pDlg = m_app.Dialog()) {
      pDlg->SetOutcomeObserver([this](EOutcome eOutcome) {
        m_eLast.store(eOutcome);
        if (m_fnOutcome) m_fnOutcome(eOutcome);
      });
    }
  }
  CFrontEndForwarder::OnWindowCreated(hWnd, tmpl);
}

void CAutoYes::OnOutcome(EOutcome eOutcome) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_policy.OnOutcome(eOutcome);
}

void CAutoYes::OnIdle() {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_nOpenBoxes != 0) return;
  if (const std::optional<fw::CInputEvent> ev = m_policy.TakeClose(m_hMain, m_bCloseEnabled)) m_loop.PostInput(*ev);
}

void CAutoYes::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    if (tmpl.nId == IDD_INSTALLER) {
      m_hMain = hWnd;
      m_bCloseEnabled = false;
    }
  }
  CFrontEndForwarder::OnWindowCreated(hWnd, tmpl);
}

void CAutoYes::OnWindowDestroyed(fw::HWND hWnd) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    if (hWnd == m_hMain) m_hMain = 0;
  }
  CFrontEndForwarder::OnWindowDestroyed(hWnd);
}

void CAutoYes::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    if (hWnd == m_hMain && ctl.tmpl.nId == fw::IDOK) m_bCloseEnabled = ctl.bEnabled;
  }
  CFrontEndForwarder::OnControlChanged(hWnd, ctl);
}

void CAutoYes::ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                              fw::UINT uType) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    ++m_nOpenBoxes;
  }
  CFrontEndForwarder::ShowMessageBox(nBoxId, hOwner, strText, strCaption, uType);
  m_loop.PostInput(fw::CInputEvent::BoxAnswer(nBoxId, CYesPolicy::BoxAnswer()));
}

void CAutoYes::CloseMessageBox(int nBoxId, int nAnswer) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    --m_nOpenBoxes;
  }
  CFrontEndForwarder::CloseMessageBox(nBoxId, nAnswer);
}

}  // namespace velda::app
