// A first-in, first-out queue in one block of memory made up front: pushing and popping move two
// indices and copy one element, so a driver's callback that posts allocates nothing. Only a
// queue that outgrows its block (more waiting than it was made for) allocates, doubling it.
// Not thread-safe: the caller's lock guards it.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace fw {

template <class T>
class CRingQueue {
 public:
  explicit CRingQueue(std::size_t nCapacity) : m_aSlots(nCapacity == 0 ? 1 : nCapacity) {}

  bool empty() const { return m_nCount == 0; }
  std::size_t size() const { return m_nCount; }
  std::size_t capacity() const { return m_aSlots.size(); }

  void push_back(const T& value) {
    if (m_nCount == m_aSlots.size()) Grow();
    m_aSlots[(m_nHead + m_nCount) % m_aSlots.size()] = value;
    ++m_nCount;
  }
  // The oldest element; the queue must not be empty.
  const T& front() const { return m_aSlots[m_nHead]; }
  void pop_front() {
    m_nHead = (m_nHead + 1) % m_aSlots.size();
    --m_nCount;
  }

 private:
  void Grow() {
    std::vector<T> aSlots(m_aSlots.size() * 2);
    for (std::size_t i = 0; i < m_nCount; ++i) aSlots[i] = std::move(m_aSlots[(m_nHead + i) % m_aSlots.size()]);
    m_aSlots = std::move(aSlots);
    m_nHead = 0;
  }

  std::vector<T> m_aSlots;
  std::size_t m_nHead = 0;
  std::size_t m_nCount = 0;
};

}  // namespace fw
