// One run of the installer under the Qt front end, without owning the QApplication: the
// installer's thread runs CInstallerApp::InitInstance on the given loop while the calling (GUI)
// thread draws. RunQtFrontEnd (run_qt.h) is the program's way in; tests use this directly under
// their own QApplication.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "fw/msgloop.h"
#include "ui/qt/qt_front_end.h"

namespace velda {
class CInstallerApp;
}

namespace velda::qt {

struct CQtRunOptions {
  // Run on the installer's thread before InitInstance and after it returned (for example to make
  // a MIDI driver current, or to read how the run ended).
  std::function<void()> fnBeforeInit;
  std::function<void()> fnAfterInit;
};

class CQtSession {
 public:
  // GUI thread, with a QApplication. The front end is made here and set on the loop.
  CQtSession(CInstallerApp& app, fw::CMsgLoop& loop, CQtRunOptions opt = {});
  // Stops the run if it still goes on (Stop), then lets go of the front end.
  ~CQtSession();
  CQtSession(const CQtSession&) = delete;
  CQtSession& operator=(const CQtSession&) = delete;

  CQtFrontEnd& FrontEnd() { return *m_pFrontEnd; }

  // Starts the installer's thread (once).
  void Start();
  // fn runs on the GUI thread once InitInstance has returned on the installer's thread.
  void SetOnFinished(std::function<void()> fn) { m_fnOnFinished = std::move(fn); }
  // InitInstance has returned (any thread).
  bool IsFinished() const { return m_bFinished.load(); }
  // Ends the run: if the installer still runs, its loops are aborted; then its thread is joined.
  // Returns true when the installer had finished by itself.
  bool Stop();

 private:
  void ThreadMain();

  CInstallerApp& m_app;
  fw::CMsgLoop& m_loop;
  CQtRunOptions m_opt;
  std::unique_ptr<CQtFrontEnd> m_pFrontEnd;
  QObject m_context;  // the GUI thread's receiver of the end of the run
  std::function<void()> m_fnOnFinished;
  std::atomic<bool> m_bFinished{false};
  std::thread m_thread;
};

}  // namespace velda::qt
