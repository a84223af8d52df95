#include "protocol/pack7.h"

namespace velda {

std::size_t PackedLength(std::size_t nData) { return nData + (nData + 6) / 7; }

void CPack7Writer::Put(fw::BYTE b) {
  if (m_nInGroup == 0) {
    // Reserve the group's high-bit byte; its bits are filled in as the data come.
    m_nHighPos = m_nSize;
    m_pOut[m_nSize++] = 0;
  }
  if ((b & 0x80) != 0) {
    m_pOut[m_nHighPos] = static_cast<fw::BYTE>(m_pOut[m_nHighPos] | (0x40 >> m_nInGroup));
  }
  m_pOut[m_nSize++] = static_cast<fw::BYTE>(b & 0x7F);
  m_nInGroup = (m_nInGroup + 1) % 7;
}

std::size_t Pack7in8(const fw::BYTE* pData, std::size_t nData, fw::BYTE* pOut) {
  CPack7Writer writer(pOut);
  for (std::size_t i = 0; i < nData; ++i) {
    writer.Put(pData[i]);
  }
  return writer.Size();
}

}  // namespace velda
