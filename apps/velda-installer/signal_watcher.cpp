#include "signal_watcher.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace velda::app {

namespace {

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void BlockTerminationSignals() {
  const sigset_t set = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &sa, nullptr);
}

CSignalWatcher::CSignalWatcher(std::function<void()> fnFirst, std::function<void()> fnAgain)
    : m_fnFirst(std::move(fnFirst)), m_fnAgain(std::move(fnAgain)), m_thread([this] { Run(); }) {}

CSignalWatcher::~CSignalWatcher() { Stop(); }

void CSignalWatcher::Stop() {
  m_bStop.store(true);
  if (m_thread.joinable()) m_thread.join();
}

void CSignalWatcher::Run() {
  const sigset_t set = TerminationSignals();
  int nSeen = 0;
  while (!m_bStop.load()) {
    // A short wait, so that Stop is noticed without a signal of our own.
    const timespec tWait{0, 100'000'000};
    if (sigtimedwait(&set, nullptr, &tWait) < 0) continue;
    if (m_bStop.load()) return;
    if (nSeen++ == 0) {
      if (m_fnFirst) m_fnFirst();
    } else if (m_fnAgain) {
      m_fnAgain();
    }
  }
}

}  // namespace velda::app
