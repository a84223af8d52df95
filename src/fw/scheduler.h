// Timed events of simulated devices. In virtual time the message loop runs them on the
// installer's thread when the clock reaches them; in real time a device thread does.
#pragma once

#include <cstdint>
#include <functional>

namespace fw {

class CScheduler {
 public:
  virtual ~CScheduler() = default;
  // Milliseconds on this scheduler's clock.
  virtual std::uint64_t Now() const = 0;
  // Runs fn once the clock reaches nTimeMs; events due at the same time run in scheduling order.
  // Callable from any thread.
  virtual void ScheduleAt(std::uint64_t nTimeMs, std::function<void()> fn) = 0;

  void ScheduleAfter(std::uint64_t nDelayMs, std::function<void()> fn) { ScheduleAt(Now() + nDelayMs, std::move(fn)); }
};

}  // namespace fw
