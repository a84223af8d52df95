#include "protocol/reply_ring.h"

#include <algorithm>

namespace velda {

CReplyRing::CReplyRing(std::size_t nSlotSize)
    : m_nSlotSize(nSlotSize), m_pData(std::make_unique<fw::BYTE[]>(nSlotSize * kSlots)) {}

bool CReplyRing::Push(const fw::BYTE* p, std::size_t n) {
  if (IsFull() || n > m_nSlotSize) {
    return false;
  }
  const std::size_t nSlot = (m_nHead + m_nCount) % kSlots;
  std::copy_n(p, n, m_pData.get() + nSlot * m_nSlotSize);
  m_aLen[nSlot] = n;
  ++m_nCount;
  return true;
}

std::size_t CReplyRing::PopInto(fw::BYTE* pOut, std::size_t nCapacity) {
  if (IsEmpty()) {
    return 0;
  }
  const std::size_t n = pOut != nullptr ? std::min(m_aLen[m_nHead], nCapacity) : 0;
  std::copy_n(m_pData.get() + m_nHead * m_nSlotSize, n, pOut);
  m_nHead = (m_nHead + 1) % kSlots;
  --m_nCount;
  return n;
}

}  // namespace velda
