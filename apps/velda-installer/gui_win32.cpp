// The GUI of the Windows build: the native dialogs of resources/installer.rc.
#include "gui.h"
#include "ui/win32/win32_front_end.h"

namespace velda::app {

bool GuiBuilt() { return true; }

bool GuiCanShow() { return true; }

bool GuiHasDisplay() { return true; }

void GuiShowStartFailure(const std::string& strText) { win32::ShowStartFailure(strText); }

bool RunGui(char* /*pszArgv0*/, CInstallerApp& app, fw::CMsgLoop& loop, const CGuiHooks& hooks) {
  win32::CWin32RunOptions opt;
  opt.fnBeforeInit = hooks.fnBeforeInit;
  opt.fnAfterInit = hooks.fnAfterInit;
  return win32::RunWin32FrontEnd(app, loop, opt) == 0;
}

}  // namespace velda::app
