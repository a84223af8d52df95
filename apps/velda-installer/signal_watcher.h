// Ctrl-C and its kin (SIGINT, SIGTERM, SIGHUP) taken on a thread of their own instead of ending
// the process: the first asks the window to close, the second ends the run at once.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace velda::app {

// Blocks those signals in the calling thread and in the threads it starts afterwards: call it
// first thing in main, before any thread exists. Also ignores SIGPIPE (a closed output is not
// fatal).
void BlockTerminationSignals();

class CSignalWatcher {
 public:
  CSignalWatcher(std::function<void()> fnFirst, std::function<void()> fnAgain);
  ~CSignalWatcher();
  CSignalWatcher(const CSignalWatcher&) = delete;
  CSignalWatcher& operator=(const CSignalWatcher&) = delete;

  void Stop();

 private:
  void Run();

  std::function<void()> m_fnFirst;
  std::function<void()> m_fnAgain;
  std::atomic<bool> m_bStop{false};
  std::thread m_thread;
};

}  // namespace velda::app
