#include "ui/qt/qt_session.h"

#include <QMetaObject>

#include "shell/installer_app.h"

namespace velda::qt {

CQtSession::CQtSession(CInstallerApp& app, fw::CMsgLoop& loop, CQtRunOptions opt)
    : m_app(app), m_loop(loop), m_opt(std::move(opt)), m_pFrontEnd(std::make_unique<CQtFrontEnd>(loop)) {
  m_loop.SetFrontEnd(m_pFrontEnd.get());
}

CQtSession::~CQtSession() {
  Stop();
  m_loop.SetFrontEnd(nullptr);
  m_pFrontEnd.reset();
}

void CQtSession::Start() {
  if (m_thread.joinable() || m_bFinished.load()) {
    return;
  }
  m_thread = std::thread([this] { ThreadMain(); });
}

void CQtSession::ThreadMain() {
  if (m_opt.fnBeforeInit) {
    m_opt.fnBeforeInit();
  }
  m_app.InitInstance();
  if (m_opt.fnAfterInit) {
    m_opt.fnAfterInit();
  }
  m_bFinished.store(true);
  QMetaObject::invokeMethod(
      &m_context,
      [this] {
        if (m_fnOnFinished) {
          m_fnOnFinished();
        }
      },
      Qt::QueuedConnection);
}

bool CQtSession::Stop() {
  if (!m_thread.joinable()) {
    return m_bFinished.load();
  }
  const bool bByItself = m_bFinished.load();
  if (!bByItself) {
    // The GUI went first (the desktop session ended): the installer's loops end as if aborted.
    m_loop.Abort();
  }
  m_thread.join();
  return bByItself;
}

}  // namespace velda::qt
