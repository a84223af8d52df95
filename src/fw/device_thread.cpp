#include "fw/device_thread.h"

namespace fw {

CDeviceThread::CDeviceThread() : m_tStart(std::chrono::steady_clock::now()) {
  m_thread = std::thread([this] { Run(); });
}

CDeviceThread::~CDeviceThread() { Stop(); }

std::uint64_t CDeviceThread::Now() const {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_tStart).count());
}

void CDeviceThread::ScheduleAt(std::uint64_t nTimeMs, std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    if (m_bStop) {
      return;
    }
    m_events.Add(nTimeMs, std::move(fn));
  }
  m_cv.notify_all();
}

void CDeviceThread::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_bStop = true;
    m_events.Clear();
  }
  m_cv.notify_all();
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
    m_thread.join();
  }
}

void CDeviceThread::Run() {
  std::unique_lock<std::mutex> lock(m_mx);
  while (!m_bStop) {
    std::uint64_t nWhen = 0;
    std::function<void()> fn;
    if (m_events.TakeDue(Now(), nWhen, fn)) {
      lock.unlock();
      fn();
      lock.lock();
      continue;
    }
    const std::uint64_t nNext = m_events.NextTime();
    if (nNext == CTimedEventQueue::kNever) {
      m_cv.wait(lock);
    } else {
      m_cv.wait_until(lock, m_tStart + std::chrono::milliseconds(nNext));
    }
  }
}

}  // namespace fw
