// The replies waiting for their steps: a fixed ring of buffers of the reply buffer's size,
// allocated once, so that taking a reply in costs no allocation. Each reply whose step has a
// handler waits here from its dispatch until that step runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fw/types.h"

namespace velda {

class CReplyRing {
 public:
  static constexpr std::size_t kSlots = 16;  // far more than the one request outstanding can draw

  explicit CReplyRing(std::size_t nSlotSize);

  // Keeps a copy of the reply; false (and nothing kept) when every slot is taken or the reply is
  // longer than a slot.
  bool Push(const fw::BYTE* p, std::size_t n);
  bool IsFull() const { return m_nCount == kSlots; }
  bool IsEmpty() const { return m_nCount == 0; }
  std::size_t Count() const { return m_nCount; }
  // Copies the oldest reply to pOut (at most nCapacity bytes; pOut may be null to drop it) and
  // frees its slot. Returns the bytes copied; 0 when the ring is empty.
  std::size_t PopInto(fw::BYTE* pOut, std::size_t nCapacity);

 private:
  std::size_t m_nSlotSize;
  std::unique_ptr<fw::BYTE[]> m_pData;
  std::array<std::size_t, kSlots> m_aLen{};
  std::size_t m_nHead = 0;  // the oldest reply
  std::size_t m_nCount = 0;
};

}  // namespace velda
