// A real-time scheduler: one thread that runs timed events when their time comes. Simulated
// devices use it as their driver thread when the installer runs on the real clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "fw/event_queue.h"
#include "fw/scheduler.h"

namespace fw {

class CDeviceThread : public CScheduler {
 public:
  CDeviceThread();
  ~CDeviceThread() override;
  CDeviceThread(const CDeviceThread&) = delete;
  CDeviceThread& operator=(const CDeviceThread&) = delete;

  std::uint64_t Now() const override;
  void ScheduleAt(std::uint64_t nTimeMs, std::function<void()> fn) override;
  // Stops the thread; events not yet run are dropped.
  void Stop();

 private:
  void Run();

  std::chrono::steady_clock::time_point m_tStart;
  mutable std::mutex m_mx;
  std::condition_variable m_cv;
  CTimedEventQueue m_events;
  bool m_bStop = false;
  std::thread m_thread;
};

}  // namespace fw
