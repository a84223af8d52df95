// 7-in-8 packing: data bytes go in groups of 7, each group behind one high-bit byte whose
// bit 6 holds bit 7 of the group's first byte, bit 5 that of the second, ... bit 0 the seventh.
#pragma once

#include <cstddef>

#include "fw/types.h"

namespace velda {

// Bytes that n data bytes take once packed: n + ceil(n / 7).
std::size_t PackedLength(std::size_t nData);

// Packs bytes one at a time as they come, into a buffer the caller sized with PackedLength.
class CPack7Writer {
 public:
  explicit CPack7Writer(fw::BYTE* pOut) : m_pOut(pOut) {}
  void Put(fw::BYTE b);
  // Bytes written so far; a group still open already counts its high-bit byte.
  std::size_t Size() const { return m_nSize; }

 private:
  fw::BYTE* m_pOut;
  std::size_t m_nSize = 0;
  std::size_t m_nHighPos = 0;  // where the open group's high-bit byte sits
  int m_nInGroup = 0;          // data bytes in the open group, 0 when none is open
};

// Packs nData bytes into pOut (PackedLength(nData) bytes); returns the bytes written.
std::size_t Pack7in8(const fw::BYTE* pData, std::size_t nData, fw::BYTE* pOut);

}  // namespace velda
