// The GUI of a build with Qt 6: the Qt front end.
#include <cstdlib>

#include "gui.h"
#include "ui/qt/run_qt.h"

namespace velda::app {

namespace {

bool IsDisplaySet(const char* pszName) {
  const char* psz = std::getenv(pszName);
  return psz != nullptr && *psz != '\0';
}

}  // namespace

bool GuiBuilt() { return true; }

bool GuiHasDisplay() { return IsDisplaySet("DISPLAY") || IsDisplaySet("WAYLAND_DISPLAY"); }

bool GuiCanShow() { return qt::QtCanShowWindows(); }

bool RunGui(char* pszArgv0, CInstallerApp& app, fw::CMsgLoop& loop, const CGuiHooks& hooks) {
  qt::CQtRunOptions opt;
  opt.fnBeforeInit = hooks.fnBeforeInit;
  opt.fnAfterInit = hooks.fnAfterInit;
  // Only the program's name: its own options are not Qt's.
  char* aArgv[] = {pszArgv0, nullptr};
  return qt::RunQtFrontEnd(1, aArgv, app, loop, opt) == 0;
}

// Started from a terminal or a desktop session, the program's stderr is read there.
void GuiShowStartFailure(const std::string& /*strText*/) {}

}  // namespace velda::app
