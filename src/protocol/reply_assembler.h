// Assembles system-exclusive messages from the received byte stream, across any number of
// drains: each complete message F0 ... F7 comes out exactly once. A message longer than the
// reply buffer is discarded whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fw/types.h"

namespace velda {

class CReplyAssembler {
 public:
  explicit CReplyAssembler(std::size_t nMaxLen);

  // Takes one received byte; true when it completed a message, which Message() then holds.
  bool Put(fw::BYTE b);
  const std::vector<fw::BYTE>& Message() const { return m_aMsg; }
  // Messages dropped: too long for the buffer, or cut off by a new F0.
  std::uint64_t Discarded() const { return m_nDiscarded; }
  void Reset();

 private:
  std::size_t m_nMaxLen;
  std::vector<fw::BYTE> m_aMsg;
  bool m_bInMessage = false;
  bool m_bTooLong = false;
  bool m_bComplete = false;
  std::uint64_t m_nDiscarded = 0;
};

}  // namespace velda
