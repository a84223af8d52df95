// Front ends that stand in front of another one: each forwards every view call to the next, and
// adds one thing of the program's own.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "fw/msgloop.h"
#include "fw/view.h"
#include "shell/installer_app.h"
#include "shell/outcome.h"
#include "ui/tty/yes_policy.h"

namespace velda::app {

// Forwards every call to the next front end (none: the calls are dropped).
class CFrontEndForwarder : public fw::CFrontEnd {
 public:
  explicit CFrontEndForwarder(fw::CFrontEnd* pNext = nullptr) : m_pNext(pNext) {}
  // Installer thread, before the run (or when no call can come).
  void SetNext(fw::CFrontEnd* pNext) { m_pNext = pNext; }
  fw::CFrontEnd* Next() const { return m_pNext; }

  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;
  void OnWindowShown(fw::HWND hWnd, bool bShow) override;
  void OnWindowDestroyed(fw::HWND hWnd) override;
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override;
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override;
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override;
  void CloseMessageBox(int nBoxId, int nAnswer) override;

 private:
  fw::CFrontEnd* m_pNext;
};

// Follows how the installation ends: when the main window appears, the dialog's outcome observer
// is set; every outcome is kept and handed on.
class COutcomeTap : public CFrontEndForwarder {
 public:
  COutcomeTap(CInstallerApp& app, std::function<void(EOutcome)> fnOutcome, fw::CFrontEnd* pNext = nullptr)
      : CFrontEndForwarder(pNext), m_app(app), m_fnOutcome(std::move(fnOutcome)) {}

  // The last outcome the dialog noted (None before any); any thread.
  EOutcome LastOutcome() const { return m_eLast.load(); }

  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;

 private:
  CInstallerApp& m_app;
  std::function<void(EOutcome)> m_fnOutcome;
  std::atomic<EOutcome> m_eLast{EOutcome::None};
};

// --yes for a front end that asks a person (the GUI), by the one --yes policy: every box is
// answered OK as soon as it is shown, and after a failure that leaves the window waiting, Close is
// pressed (the close box when Close is disabled) once the loop is idle.
class CAutoYes : public CFrontEndForwarder {
 public:
  CAutoYes(fw::CMsgLoop& loop, fw::CFrontEnd* pNext = nullptr) : CFrontEndForwarder(pNext), m_loop(loop) {}

  void OnOutcome(EOutcome eOutcome);
  // The loop's idle hook (installer thread).
  void OnIdle();

  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;
  void OnWindowDestroyed(fw::HWND hWnd) override;
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override;
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override;
  void CloseMessageBox(int nBoxId, int nAnswer) override;

 private:
  fw::CMsgLoop& m_loop;
  std::mutex m_mx;
  fw::HWND m_hMain = 0;
  bool m_bCloseEnabled = false;
  int m_nOpenBoxes = 0;
  CYesPolicy m_policy;
};

}  // namespace velda::app
