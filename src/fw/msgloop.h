// The installer thread's message loop, with the rules of a Windows thread's queue:
// posted messages run first in, first out; user input comes after the posted messages and
// before timer ticks; a timer ticks only when nothing else waits, at most one tick pending per
// timer, and setting a running timer restarts its period; message boxes and dialogs run nested
// loops that keep dispatching; Sleep blocks this thread only.
//
// The clock is real (monotonic) or virtual. A virtual clock moves only when the loop would
// otherwise wait, straight to the next due timer or scheduled event, so tests and benchmarks run
// minutes of protocol time in milliseconds, deterministically.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "fw/event_queue.h"
#include "fw/ring_queue.h"
#include "fw/scheduler.h"
#include "fw/types.h"
#include "fw/view.h"

namespace fw {

class CWnd;

class CMsgLoop : public CScheduler {
 public:
  enum class EClock { Real, Virtual };
  static constexpr std::uint64_t kNever = CTimedEventQueue::kNever;

  explicit CMsgLoop(EClock eClock = EClock::Real);
  ~CMsgLoop() override;
  CMsgLoop(const CMsgLoop&) = delete;
  CMsgLoop& operator=(const CMsgLoop&) = delete;

  // The loop that runs on the calling thread (set by MakeCurrent), or null.
  static CMsgLoop* Current();
  // Makes this the loop of the calling thread: the installer thread.
  void MakeCurrent();

  bool IsVirtual() const { return m_eClock == EClock::Virtual; }

  // Milliseconds since the loop was made (virtual: since virtual time 0).
  std::uint64_t Now() const override;
  // A device event, run on the installer thread when the clock reaches it. Any thread.
  void ScheduleAt(std::uint64_t nTimeMs, std::function<void()> fn) override;

  // Windows. Installer thread only.
  HWND RegisterWindow(CWnd* pWnd);
  void UnregisterWindow(HWND hWnd);
  CWnd* FromHandle(HWND hWnd) const;

  // Posts a message to a window; any thread. FALSE when hWnd is 0. A message whose window is
  // gone when its turn comes is dropped.
  BOOL Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The user's input; any thread.
  void PostInput(const CInputEvent& ev);

  // Window timers. Installer thread only.
  void SetTimer(HWND hWnd, UINT_PTR nId, UINT nElapseMs);
  BOOL KillTimer(HWND hWnd, UINT_PTR nId);
  bool IsTimerRunning(HWND hWnd, UINT_PTR nId) const;
  std::size_t TimerCount() const;

  // Blocks the installer thread. In virtual time, device events due meanwhile run in time order.
  void Sleep(UINT nMs);

  // Dispatches until fnDone() is true; false when the run was aborted first.
  bool RunModal(const std::function<bool()>& fnDone);
  // Ends every loop that runs: used when a virtual run can never go on, and by tests at their end.
  void Abort();
  bool IsAborted() const { return m_bAborted.load(); }

  // Called on the installer thread whenever the loop has nothing ready, with the time of the next
  // timer or device event (kNever when there is none). A test harness may block in it.
  void SetIdleHook(std::function<void(std::uint64_t nNextDue)> fn) { m_fnIdleHook = std::move(fn); }

  // The front end that shows windows and boxes (may be null: boxes are then answered OK).
  void SetFrontEnd(CFrontEnd* pFrontEnd) { m_pFrontEnd = pFrontEnd; }
  CFrontEnd* FrontEnd() const { return m_pFrontEnd; }

  // A modal message box owned by hOwner; runs a nested loop until it is answered.
  int MessageBox(HWND hOwner, const CString& strText, const CString& strCaption, UINT uType);

  // Modal windows: input reaches only the topmost modal window (0 stands for a message box).
  void PushModal(HWND hWnd) { m_aModal.push_back(hWnd); }
  void PopModal() { m_aModal.pop_back(); }

  // Sees every posted message and tick as it is dispatched, before its window does (tests,
  // traces). Dropped messages are not seen.
  void SetDispatchObserver(std::function<void(HWND, UINT, WPARAM, LPARAM)> fn) { m_fnObserver = std::move(fn); }

  // Messages dispatched so far (posted messages, input and ticks).
  std::uint64_t DispatchCount() const { return m_nDispatched; }

 private:
  struct CMsg {
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  struct CTimer {
    UINT nPeriod;
    std::uint64_t nDue;
  };
  enum class EReady { Message, Input, Timer, None };

  // Runs one message, tick or input; waits or moves the virtual clock when there is none.
  // Returns false when the run is aborted.
  bool PumpOne();
  void Dispatch(const CMsg& msg);
  void DispatchInput(const CInputEvent& ev);
  bool TakeDueTimer(CMsg& msg);
  std::uint64_t NextTimerDue() const;
  void RunDueEvents(std::uint64_t nUpTo);
  void AdvanceTo(std::uint64_t nTime);

  const EClock m_eClock;
  const std::chrono::steady_clock::time_point m_tStart;
  std::atomic<std::uint64_t> m_nVirtualNow{0};

  mutable std::mutex m_mx;
  std::condition_variable m_cv;
  // Posts come from drivers' callbacks, which must not allocate: room for more than ever waits.
  static constexpr std::size_t kPostRoom = 1024;
  CRingQueue<CMsg> m_posted{kPostRoom};
  std::deque<CInputEvent> m_input;
  CTimedEventQueue m_events;

  std::map<HWND, CWnd*> m_windows;
  HWND m_hNext = 1;
  std::map<std::pair<HWND, UINT_PTR>, CTimer> m_timers;
  std::vector<HWND> m_aModal;
  std::map<int, int> m_boxAnswers;  // answered boxes not yet collected
  int m_nNextBox = 1;

  std::function<void(std::uint64_t)> m_fnIdleHook;
  std::function<void(HWND, UINT, WPARAM, LPARAM)> m_fnObserver;
  CFrontEnd* m_pFrontEnd = nullptr;
  std::atomic<bool> m_bAborted{false};
  std::uint64_t m_nDispatched = 0;
};

// Kernel services routed through the calling thread's loop (plain ones on other threads).
void Sleep(UINT nMs);
// Milliseconds on the loop's clock: the millisecond clock that time-outs are measured with.
DWORD timeGetTime();

}  // namespace fw
