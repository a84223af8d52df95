#include "fw/note_queue.h"

namespace velda {

// A bounded queue for many producers and consumers: each cell's sequence number says whether it
// waits for a push (== position) or a pop (== position + 1).
CNoteQueue::CNoteQueue() {
  for (std::size_t i = 0; i < kCells; ++i) m_aCells[i].nSeq.store(i, std::memory_order_relaxed);
}

bool CNoteQueue::Push(const char* pszText) {
  std::size_t nPos = m_nPush.load(std::memory_order_relaxed);
  for (;;) {
    CCell& cell = m_aCells[nPos % kCells];
    const std::size_t nSeq = cell.nSeq.load(std::memory_order_acquire);
    if (nSeq == nPos) {
      if (m_nPush.compare_exchange_weak(nPos, nPos + 1, std::memory_order_relaxed)) {
        cell.pszText = pszText;
        cell.nSeq.store(nPos + 1, std::memory_order_release);
        return true;
      }
    } else if (nSeq < nPos) {
      return false;  // full
    } else {
      nPos = m_nPush.load(std::memory_order_relaxed);
    }
  }
}

const char* CNoteQueue::Pop() {
  std::size_t nPos = m_nPop.load(std::memory_order_relaxed);
  for (;;) {
    CCell& cell = m_aCells[nPos % kCells];
    const std::size_t nSeq = cell.nSeq.load(std::memory_order_acquire);
    if (nSeq == nPos + 1) {
      if (m_nPop.compare_exchange_weak(nPos, nPos + 1, std::memory_order_relaxed)) {
        const char* psz = cell.pszText;
        cell.nSeq.store(nPos + kCells, std::memory_order_release);
        return psz;
      }
    } else if (nSeq < nPos + 1) {
      return nullptr;  // empty
    } else {
      nPos = m_nPop.load(std::memory_order_relaxed);
    }
  }
}

}  // namespace velda
