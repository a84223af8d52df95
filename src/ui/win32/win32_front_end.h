// The native Windows front end of velda-installer: the dialogs of resources/installer.rc
// (templates 102 and 129, icon 128), message boxes with MessageBoxA, the progress bars driven
// with PBM_* messages.
//
// RunWin32FrontEnd runs on the calling thread (the UI thread) until the installer has ended:
// CInstallerApp::InitInstance runs on a thread of its own (the installer's thread, on `loop`,
// real clock), so the windows keep painting while the installer sleeps or waits. Returns 0 when
// InitInstance returned by itself, 1 when the UI ended first (the installer was then aborted).
#pragma once

#include <functional>
#include <string>

#include "fw/msgloop.h"

namespace velda {
class CInstallerApp;
}

namespace velda::win32 {

struct CWin32RunOptions {
  // Run on the installer's thread before InitInstance and after it returned.
  std::function<void()> fnBeforeInit;
  std::function<void()> fnAfterInit;
};

// A box, without the UI thread, saying why the program did not start.
void ShowStartFailure(const std::string& strText);

int RunWin32FrontEnd(CInstallerApp& app, fw::CMsgLoop& loop, const CWin32RunOptions& opt = {});

}  // namespace velda::win32
