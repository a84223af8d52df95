// The program's window, when this build has one (Qt 6). Without it the program runs on the
// terminal and --gui says that the GUI is not built.
#pragma once

#include <functional>
#include <string>

#include "fw/msgloop.h"
#include "shell/installer_app.h"

namespace velda::app {

struct CGuiHooks {
  // Run on the installer's thread just before CInstallerApp::InitInstance and just after it; they
  // may put front ends of their own in front of the window's (fw::CMsgLoop::FrontEnd).
  std::function<void()> fnBeforeInit;
  std::function<void()> fnAfterInit;
};

// Whether this build has the GUI.
bool GuiBuilt();
// Whether the GUI can open its window here (a display, or a Qt platform named).
bool GuiCanShow();
// Whether a desktop is there, so that the window is the default front end.
bool GuiHasDisplay();

// Tells the user, in a box of the window's system, why the program did not start. Only a GUI that
// has no terminal to write to shows one (Windows: a -mwindows program's stderr goes nowhere).
void GuiShowStartFailure(const std::string& strText);

// Runs the installer with its window: InitInstance on a thread of its own, on loop (real clock);
// returns when it has returned. false when the GUI ended first.
bool RunGui(char* pszArgv0, CInstallerApp& app, fw::CMsgLoop& loop, const CGuiHooks& hooks);

}  // namespace velda::app
