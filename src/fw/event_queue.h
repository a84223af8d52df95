// Events ordered by due time, then by the order in which they were scheduled.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <utility>

namespace fw {

class CTimedEventQueue {
 public:
  static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

  void Add(std::uint64_t nTime, std::function<void()> fn) {
    m_events.emplace(std::make_pair(nTime, m_nSeq++), std::move(fn));
  }
  bool IsEmpty() const { return m_events.empty(); }
  std::uint64_t NextTime() const { return m_events.empty() ? kNever : m_events.begin()->first.first; }
  // Takes the earliest event due at or before nTime; false when there is none.
  bool TakeDue(std::uint64_t nTime, std::uint64_t& nWhen, std::function<void()>& fn) {
    if (m_events.empty() || m_events.begin()->first.first > nTime) {
      return false;
    }
    auto it = m_events.begin();
    nWhen = it->first.first;
    fn = std::move(it->second);
    m_events.erase(it);
    return true;
  }
  void Clear() { m_events.clear(); }

 private:
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> m_events;
  std::uint64_t m_nSeq = 0;
};

}  // namespace fw
