#include "fw/msgloop.h"

#include <algorithm>
#include "fw/loop_wait.h"
#include "fw/wnd.h"

namespace fw {

namespace {
thread_local CMsgLoop* t_pCurrent = nullptr;
}  // namespace

CMsgLoop::CMsgLoop(EClock eClock) : m_eClock(eClock), m_tStart(std::chrono::steady_clock::now()) {}

CMsgLoop::~CMsgLoop() {
  if (t_pCurrent == this) {
    t_pCurrent = nullptr;
  }
}

CMsgLoop* CMsgLoop::Current() { return t_pCurrent; }

void CMsgLoop::MakeCurrent() { t_pCurrent = this; }

std::uint64_t CMsgLoop::Now() const {
  if (m_eClock == EClock::Virtual) {
    return m_nVirtualNow.load();
  }
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_tStart).count());
}

void CMsgLoop::ScheduleAt(std::uint64_t nTimeMs, std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_events.Add(nTimeMs, std::move(fn));
  }
  m_cv.notify_all();
}

HWND CMsgLoop::RegisterWindow(CWnd* pWnd) {
  const HWND h = m_hNext++;
  m_windows[h] = pWnd;
  return h;
}

void CMsgLoop::UnregisterWindow(HWND hWnd) {
  m_windows.erase(hWnd);
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    it = it->first.first == hWnd ? m_timers.erase(it) : std::next(it);
  }
}

CWnd* CMsgLoop::FromHandle(HWND hWnd) const {
  const auto it = m_windows.find(hWnd);
  return it == m_windows.end() ? nullptr : it->second;
}

BOOL CMsgLoop::Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hWnd == 0) {
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_posted.push_back(CMsg{hWnd, message, wParam, lParam});
  }
  m_cv.notify_all();
  return TRUE;
}

void CMsgLoop::PostInput(const CInputEvent& ev) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_input.push_back(ev);
  }
  m_cv.notify_all();
}

void CMsgLoop::SetTimer(HWND hWnd, UINT_PTR nId, UINT nElapseMs) {
  m_timers[{hWnd, nId}] = CTimer{nElapseMs, Now() + nElapseMs};
}

BOOL CMsgLoop::KillTimer(HWND hWnd, UINT_PTR nId) { return m_timers.erase({hWnd, nId}) != 0 ? TRUE : FALSE; }

bool CMsgLoop::IsTimerRunning(HWND hWnd, UINT_PTR nId) const { return m_timers.count({hWnd, nId}) != 0; }

std::size_t CMsgLoop::TimerCount() const { return m_timers.size(); }

void CMsgLoop::Sleep(UINT nMs) {
  const std::uint64_t nTarget = Now() + nMs;
  if (m_eClock == EClock::Real) {
    // Device events scheduled on this loop (where no device thread runs them) still come in time
    // order while the installer sleeps, as they would from a device thread.
    for (;;) {
      RunDueEvents(Now());
      const std::uint64_t nNow = Now();
      if (nNow >= nTarget) return;
      std::uint64_t nNextEvent = kNever;
      {
        std::lock_guard<std::mutex> lock(m_mx);
        nNextEvent = m_events.NextTime();
      }
      if (nNextEvent <= nNow) continue;
      SleepThread(static_cast<UINT>(std::min(nTarget, nNextEvent) - nNow));
    }
  }
  RunDueEvents(nTarget);
  AdvanceTo(nTarget);
}

void CMsgLoop::AdvanceTo(std::uint64_t nTime) {
  if (nTime > m_nVirtualNow.load()) {
    m_nVirtualNow.store(nTime);
  }
}

// Runs, in time order, every device event due at or before nUpTo; in virtual time the clock
// follows each event, so events scheduled meanwhile keep their order.
void CMsgLoop::RunDueEvents(std::uint64_t nUpTo) {
  for (;;) {
    std::uint64_t nWhen = 0;
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(m_mx);
      if (!m_events.TakeDue(nUpTo, nWhen, fn)) {
        return;
      }
    }
    if (m_eClock == EClock::Virtual) {
      AdvanceTo(nWhen);
    }
    fn();
  }
}

std::uint64_t CMsgLoop::NextTimerDue() const {
  std::uint64_t nNext = kNever;
  for (const auto& [key, timer] : m_timers) {
    nNext = std::min(nNext, timer.nDue);
  }
  return nNext;
}

bool CMsgLoop::TakeDueTimer(CMsg& msg) {
  const std::uint64_t nNow = Now();
  auto best = m_timers.end();
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second.nDue <= nNow && (best == m_timers.end() || it->second.nDue < best->second.nDue)) {
      best = it;
    }
  }
  if (best == m_timers.end()) {
    return false;
  }
  // A tick is produced once however many periods passed; the next one is a period away.
  best->second.nDue = nNow + best->second.nPeriod;
  msg = CMsg{best->first.first, WM_TIMER, best->first.second, 0};
  return true;
}

void CMsgLoop::Dispatch(const CMsg& msg) {
  CWnd* pWnd = FromHandle(msg.hWnd);
  if (pWnd == nullptr) {
    return;  // its window has ended: dropped
  }
  ++m_nDispatched;
  if (m_fnObserver) {
    m_fnObserver(msg.hWnd, msg.message, msg.wParam, msg.lParam);
  }
  pWnd->WindowProc(msg.message, msg.wParam, msg.lParam);
}

void CMsgLoop::DispatchInput(const CInputEvent& ev) {
  if (ev.eKind == CInputEvent::EKind::BoxAnswer) {
    m_boxAnswers[ev.nId] = ev.nValue;
    return;
  }
  if (!m_aModal.empty() && m_aModal.back() != ev.hWnd) {
    return;  // a modal box or dialog above this window takes the input
  }
  CWnd* pWnd = FromHandle(ev.hWnd);
  if (pWnd == nullptr) {
    return;
  }
  ++m_nDispatched;
  pWnd->OnInput(ev);
}

bool CMsgLoop::PumpOne() {
  for (;;) {
    if (m_bAborted.load()) {
      return false;
    }
    CMsg msg{};
    CInputEvent ev;
    EReady eReady = EReady::None;
    {
      std::lock_guard<std::mutex> lock(m_mx);
      if (!m_posted.empty()) {
        msg = m_posted.front();
        m_posted.pop_front();
        eReady = EReady::Message;
      } else if (!m_input.empty()) {
        ev = m_input.front();
        m_input.pop_front();
        eReady = EReady::Input;
      }
    }
    if (eReady == EReady::Message) {
      Dispatch(msg);
      return true;
    }
    if (eReady == EReady::Input) {
      DispatchInput(ev);
      return true;
    }
    std::uint64_t nNextEvent = kNever;
    {
      std::lock_guard<std::mutex> lock(m_mx);
      nNextEvent = m_events.NextTime();
    }
    if (nNextEvent <= Now()) {
      RunDueEvents(Now());
      continue;
    }
    if (TakeDueTimer(msg)) {
      Dispatch(msg);
      return true;
    }
    // Nothing is ready: let a harness look, then wait or move the virtual clock on.
    std::uint64_t nNext = std::min(NextTimerDue(), nNextEvent);
    if (m_fnIdleHook) {
      const std::uint64_t nBefore = Now();
      m_fnIdleHook(nNext);
      if (m_bAborted.load()) {
        return false;
      }
      std::lock_guard<std::mutex> lock(m_mx);
      if (Now() != nBefore || !m_posted.empty() || !m_input.empty() || m_events.NextTime() != nNextEvent) {
        continue;  // the hook moved the clock or something arrived: look again
      }
    }
    if (m_eClock == EClock::Virtual) {
      if (nNext == kNever) {
        Abort();  // nothing can ever happen again
        return false;
      }
      AdvanceTo(nNext);
      continue;
    }
    std::unique_lock<std::mutex> lock(m_mx);
    if (!m_posted.empty() || !m_input.empty() || m_events.NextTime() != nNextEvent) {
      continue;
    }
    if (nNext == kNever) {
      WaitForWork(lock, m_cv, std::nullopt);
    } else {
      WaitForWork(lock, m_cv, m_tStart + std::chrono::milliseconds(nNext));
    }
  }
}

bool CMsgLoop::RunModal(const std::function<bool()>& fnDone) {
  while (!fnDone()) {
    if (!PumpOne()) {
      return false;
    }
  }
  return true;
}

void CMsgLoop::Abort() {
  m_bAborted.store(true);
  m_cv.notify_all();
}

int CMsgLoop::MessageBox(HWND hOwner, const CString& strText, const CString& strCaption, UINT uType) {
  if (m_pFrontEnd == nullptr) {
    return IDOK;
  }
  const int nBox = m_nNextBox++;
  PushModal(0);
  m_pFrontEnd->ShowMessageBox(nBox, hOwner, strText, strCaption, uType);
  const bool bAnswered = RunModal([&] { return m_boxAnswers.count(nBox) != 0; });
  PopModal();
  int nAnswer = IDCANCEL;
  if (bAnswered) {
    nAnswer = m_boxAnswers[nBox];
    m_boxAnswers.erase(nBox);
  }
  m_pFrontEnd->CloseMessageBox(nBox, nAnswer);
  return nAnswer;
}

void Sleep(UINT nMs) {
  if (CMsgLoop* pLoop = CMsgLoop::Current()) {
    pLoop->Sleep(nMs);
    return;
  }
  SleepThread(nMs);
}

DWORD timeGetTime() {
  if (CMsgLoop* pLoop = CMsgLoop::Current()) {
    return static_cast<DWORD>(pLoop->Now());
  }
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace fw
