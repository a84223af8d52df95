// Ctrl-C, Ctrl-Break and the console's close on Windows: the system calls the handler on a thread
// of its own, which plays the watcher's thread. A program without a console gets none of them.
#include <atomic>

#include "signal_watcher.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace velda::app {

namespace {

std::atomic<CSignalWatcher*> g_pWatcher{nullptr};
std::atomic<int> g_nSeen{0};
std::function<void()>* g_pFirst = nullptr;
std::function<void()>* g_pAgain = nullptr;

BOOL WINAPI OnConsoleControl(::DWORD /*nType*/) {
  if (g_pWatcher.load() == nullptr) return FALSE;
  if (g_nSeen.fetch_add(1) == 0) {
    (*g_pFirst)();
  } else {
    (*g_pAgain)();
  }
  return TRUE;
}

}  // namespace

void BlockTerminationSignals() {}

CSignalWatcher::CSignalWatcher(std::function<void()> fnFirst, std::function<void()> fnAgain)
    : m_fnFirst(std::move(fnFirst)), m_fnAgain(std::move(fnAgain)) {
  g_pFirst = &m_fnFirst;
  g_pAgain = &m_fnAgain;
  g_nSeen.store(0);
  g_pWatcher.store(this);
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CSignalWatcher::~CSignalWatcher() { Stop(); }

void CSignalWatcher::Stop() {
  if (m_bStop.exchange(true)) return;
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_pWatcher.store(nullptr);
}

void CSignalWatcher::Run() {}

}  // namespace velda::app
