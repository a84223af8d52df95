// The FIFO of posted messages. Any thread pushes, the loop's own thread pops. A push from another
// thread (the MIDI driver's callback, a front end) takes one of a fixed number of cells and so
// neither allocates nor waits: a lock-free claim of a cell and one atomic exchange. The loop's own
// thread, which may allocate, pushes nodes of its own, so its steps are never refused. Both kinds
// go into the same list, so every message keeps its place in posting order.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace fw {

template <class T>
class CPostQueue {
 public:
  explicit CPostQueue(std::size_t nCells) : m_aCells(std::make_unique<CNode[]>(nCells)), m_nCells(nCells) {
    for (std::size_t i = 0; i < nCells; ++i) m_aCells[i].bPooled = true;
  }
  ~CPostQueue() {
    T v{};
    while (Pop(v)) {
    }
  }
  CPostQueue(const CPostQueue&) = delete;
  CPostQueue& operator=(const CPostQueue&) = delete;

  std::size_t Cells() const { return m_nCells; }

  // Any thread; never allocates, never waits. False when every cell holds a message not yet
  // taken: nothing is queued.
  bool PushFixed(const T& v) {
    const std::size_t nStart = m_nClaim.fetch_add(1, std::memory_order_relaxed);
    for (std::size_t i = 0; i < m_nCells; ++i) {
      CNode& cell = m_aCells[(nStart + i) % m_nCells];
      bool bTaken = false;
      if (!cell.bTaken.load(std::memory_order_relaxed) &&
          cell.bTaken.compare_exchange_strong(bTaken, true, std::memory_order_acquire)) {
        cell.value = v;
        Link(&cell);
        return true;
      }
    }
    return false;
  }

  // The popping thread: a node of its own, so the push cannot fail.
  void PushAllocated(const T& v) {
    CNode* p = new CNode();
    p->value = v;
    Link(p);
  }

  // The popping thread only. A push still between its two steps is not seen yet; its poster
  // wakes the loop once it is complete.
  bool Empty() {
    if (m_pFront == nullptr) m_pFront = TakeNode();
    return m_pFront == nullptr;
  }
  bool Pop(T& v) {
    if (Empty()) return false;
    v = m_pFront->value;
    Free(m_pFront);
    m_pFront = nullptr;
    return true;
  }

 private:
  struct CNode {
    std::atomic<CNode*> pNext{nullptr};
    T value{};
    bool bPooled = false;
    std::atomic<bool> bTaken{false};  // a cell: holds a message not yet taken
  };

  // Appends: the exchange orders the pushes; the link makes the node reachable.
  void Link(CNode* p) {
    p->pNext.store(nullptr, std::memory_order_relaxed);
    CNode* pPrev = m_pHead.exchange(p, std::memory_order_acq_rel);
    pPrev->pNext.store(p, std::memory_order_release);
  }

  // The oldest complete node, detached; the stub keeps the list from ever being empty.
  CNode* TakeNode() {
    CNode* pTail = m_pTail;
    CNode* pNext = pTail->pNext.load(std::memory_order_acquire);
    if (pTail == &m_stub) {
      if (pNext == nullptr) return nullptr;
      m_pTail = pNext;
      pTail = pNext;
      pNext = pNext->pNext.load(std::memory_order_acquire);
    }
    if (pNext != nullptr) {
      m_pTail = pNext;
      return pTail;
    }
    if (pTail != m_pHead.load(std::memory_order_acquire)) return nullptr;  // a push is half done
    Link(&m_stub);
    pNext = pTail->pNext.load(std::memory_order_acquire);
    if (pNext == nullptr) return nullptr;
    m_pTail = pNext;
    return pTail;
  }

  void Free(CNode* p) {
    if (p->bPooled) {
      p->bTaken.store(false, std::memory_order_release);
    } else {
      delete p;
    }
  }

  std::unique_ptr<CNode[]> m_aCells;
  const std::size_t m_nCells;
  std::atomic<std::size_t> m_nClaim{0};
  CNode m_stub;
  std::atomic<CNode*> m_pHead{&m_stub};
  CNode* m_pTail = &m_stub;   // the popping thread's
  CNode* m_pFront = nullptr;  // taken by Empty, not yet popped
};

}  // namespace fw
