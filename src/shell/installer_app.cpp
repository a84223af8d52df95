#include "shell/installer_app.h"

#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

CInstallerApp::CInstallerApp(fw::CMsgLoop& loop) : fw::CWinApp(loop, TXT_APP_TITLE), m_strPackagePath(PACKAGE_NAME) {}

CInstallerApp::~CInstallerApp() = default;

fw::BOOL CInstallerApp::InitInstance() {
  Loop().MakeCurrent();
  auto pLock = std::make_unique<fw::CSingleInstanceLock>();
  const fw::ELock eLock = pLock->Acquire(INSTANCE_LOCK_NAME, m_strLockFolder);
  if (eLock == fw::ELock::HeldElsewhere) {
    // Another copy runs: end at once, without a window or a word.
    m_bSecondCopy = true;
    return fw::FALSE;
  }
  if (eLock == fw::ELock::Unavailable) {
    // Unguarded, a second copy could drive the same instrument: the program says so and ends.
    m_strLockError = pLock->Error().empty() ? std::string("unknown error") : pLock->Error();
    return fw::FALSE;
  }
  m_hMutex = std::move(pLock);

  CInstallerDlg dlg;
  dlg.SetPackagePath(m_strPackagePath);
  dlg.SetVerify(m_bVerify);
  SetMainWnd(&dlg);
  m_pDlg = &dlg;
  dlg.DoModal();
  m_pDlg = nullptr;
  SetMainWnd(nullptr);
  return fw::FALSE;
}

}  // namespace velda
