// A build without Qt 6: no window; the program runs on the terminal.
#include "gui.h"

namespace velda::app {

bool GuiBuilt() { return false; }

bool GuiHasDisplay() { return false; }

bool GuiCanShow() { return false; }

bool RunGui(char* /*pszArgv0*/, CInstallerApp& /*app*/, fw::CMsgLoop& /*loop*/, const CGuiHooks& /*hooks*/) {
  return false;
}

// Started from a terminal or a desktop session, the program's stderr is read there.
void GuiShowStartFailure(const std::string& /*strText*/) {}

}  // namespace velda::app
