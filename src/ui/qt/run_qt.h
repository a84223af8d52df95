// The Qt 6 front end of velda-installer.
//
//   int velda::qt::RunQtFrontEnd(int argc, char** argv, CInstallerApp& app, fw::CMsgLoop& loop,
//                                const CQtRunOptions& opt = {});
//
// Makes the QApplication (argc/argv are passed to it: Qt options such as -platform work), shows
// the installer's windows and boxes, runs CInstallerApp::InitInstance on a thread of its own (the
// installer's thread, on `loop`, which must use the real clock) and returns when InitInstance has
// returned: 0 then, 1 when the GUI ended first (the installer was aborted). How the installation
// ended is the program's to read (opt.fnAfterInit runs on the installer's thread at the end).
// `app` and `loop` must outlive the call; call it from the main thread.
//
// QtCanShowWindows() tells beforehand whether a GUI can start at all, since QApplication ends the
// process when it finds no display.
#pragma once

#include "fw/msgloop.h"
#include "ui/qt/qt_session.h"

namespace velda::qt {

int RunQtFrontEnd(int argc, char** argv, CInstallerApp& app, fw::CMsgLoop& loop, const CQtRunOptions& opt = {});

// True when a platform is named (QT_QPA_PLATFORM) or a display is there (WAYLAND_DISPLAY, DISPLAY).
bool QtCanShowWindows();

}  // namespace velda::qt
