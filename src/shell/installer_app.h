// The application object: one running copy at a time, the main dialog run modally.
#pragma once

#include <memory>
#include <string>

#include "fw/kernel.h"
#include "fw/wnd.h"

namespace velda {

class CInstallerDlg;

class CInstallerApp : public fw::CWinApp {
 public:
  explicit CInstallerApp(fw::CMsgLoop& loop);
  ~CInstallerApp() override;

  // Where the package is read from (default: the current folder's velda.uxs), and the folder
  // that gives the single-instance lock a scope of its own (a --virtual run, a test); without one
  // the lock is the one for the whole system.
  void SetPackagePath(const std::string& strPath) { m_strPackagePath = strPath; }
  void SetLockFolder(const std::string& strFolder) { m_strLockFolder = strFolder; }
  // --verify for the dialog.
  void SetVerify(bool bVerify) { m_bVerify = bVerify; }

  // Runs the whole program; always FALSE, as there is no loop after the dialog.
  fw::BOOL InitInstance() override;

  // The dialog while it runs (null before and after): for tests and front ends.
  CInstallerDlg* Dialog() const { return m_pDlg; }
  // Whether the copy found another one running and ended at once.
  bool WasSecondCopy() const { return m_bSecondCopy; }
  // Whether no lock could be had at all (the copy then ended at once), and the system's reason.
  bool LockUnavailable() const { return !m_strLockError.empty(); }
  const std::string& LockError() const { return m_strLockError; }

 private:
  std::unique_ptr<fw::CSingleInstanceLock> m_hMutex;
  std::string m_strPackagePath;
  std::string m_strLockFolder;
  CInstallerDlg* m_pDlg = nullptr;
  bool m_bSecondCopy = false;
  std::string m_strLockError;
  bool m_bVerify = false;
};

}  // namespace velda
