#include "protocol/reply_assembler.h"

namespace velda {

CReplyAssembler::CReplyAssembler(std::size_t nMaxLen) : m_nMaxLen(nMaxLen) { m_aMsg.reserve(nMaxLen); }

void CReplyAssembler::Reset() {
  m_aMsg.clear();
  m_bInMessage = false;
  m_bTooLong = false;
  m_bComplete = false;
}

bool CReplyAssembler::Put(fw::BYTE b) {
  if (m_bComplete) {
    m_aMsg.clear();
    m_bComplete = false;
  }
  if (b == 0xF0) {
    if (m_bInMessage) {
      ++m_nDiscarded;  // a message that never ended
    }
    m_aMsg.clear();
    m_aMsg.push_back(b);
    m_bInMessage = true;
    m_bTooLong = false;
    return false;
  }
  if (!m_bInMessage) {
    return false;  // bytes outside a message belong to nothing
  }
  if (b == 0xF7) {
    m_bInMessage = false;
    if (m_bTooLong) {
      ++m_nDiscarded;
      m_aMsg.clear();
      m_bTooLong = false;
      return false;
    }
    m_aMsg.push_back(b);
    m_bComplete = true;
    return true;
  }
  if (m_bTooLong) {
    return false;
  }
  if (m_aMsg.size() + 1 >= m_nMaxLen) {
    // No room left for this byte and the closing F7: the message cannot be kept.
    m_bTooLong = true;
    m_aMsg.clear();
    return false;
  }
  m_aMsg.push_back(b);
  return false;
}

}  // namespace velda
