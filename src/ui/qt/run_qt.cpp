#include "ui/qt/run_qt.h"

#include <QApplication>

#include <cstdlib>

#include "shell/installer_app.h"
#include "ui/qt/app_icon.h"

namespace velda::qt {

namespace {

bool IsSet(const char* pszName) {
  const char* psz = std::getenv(pszName);
  return psz != nullptr && *psz != '\0';
}

}  // namespace

bool QtCanShowWindows() { return IsSet("QT_QPA_PLATFORM") || IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY"); }

int RunQtFrontEnd(int argc, char** argv, CInstallerApp& app, fw::CMsgLoop& loop, const CQtRunOptions& opt) {
  int nArgc = argc;  // QApplication keeps a reference to it
  QApplication qapp(nArgc, argv);
  // Windows come and go (boxes before the main window, the port dialog): only the end of the
  // installer ends the application.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(ApplicationIcon());
  QApplication::setDesktopFileName(QStringLiteral("velda-installer"));

  CQtSession session(app, loop, opt);
  session.SetOnFinished([] { QCoreApplication::quit(); });
  session.Start();
  QApplication::exec();
  return session.Stop() ? 0 : 1;
}

}  // namespace velda::qt
