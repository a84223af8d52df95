// Wakes the loop's thread from any thread without taking a lock: raised, it stays raised until
// the waiting thread has returned from Wait, so a raise between the loop's last look at its
// queues and its wait is never lost.
#pragma once

#include <atomic>
#include <cstdint>

namespace fw {

class CWakeSignal {
 public:
  CWakeSignal();
  ~CWakeSignal();
  CWakeSignal(const CWakeSignal&) = delete;
  CWakeSignal& operator=(const CWakeSignal&) = delete;

  // Any thread; never allocates, never waits.
  void Raise();
  // One thread: returns when raised (the raise is used up) or after nTimeoutMs; a negative
  // timeout waits for the raise alone.
  void Wait(std::int64_t nTimeoutMs);

 private:
  std::intptr_t m_aHandle[2] = {-1, -1};  // the platform's: a pipe's two ends, or an event
  std::atomic<bool> m_bRaised{false};
};

}  // namespace fw
