#include "protocol/area_reply.h"

#include "protocol/messages.h"

namespace velda {

namespace {

constexpr std::size_t kFirstPacked = 7;

// The byte at i, or F7 beyond the reply: the end of the reply reads as its end mark.
fw::BYTE At(const fw::BYTE* pMsg, std::size_t nLen, std::size_t i) { return i < nLen ? pMsg[i] : SYSEX_END; }

}  // namespace

CAreaDecodeResult DecodeAreaReply(const fw::BYTE* pMsg, std::size_t nLen, fw::BYTE* pOut, std::size_t nCapacity) {
  CAreaDecodeResult result;
  std::size_t nPos = kFirstPacked;
  if (At(pMsg, nLen, nPos) == SYSEX_END) {
    return result;  // no data, no checksum
  }
  unsigned nSum = 0;
  bool bHaveChecksum = false;
  fw::BYTE nChecksum = 0;
  bool bDamaged = false;
  for (;;) {
    const fw::BYTE nHigh = At(pMsg, nLen, nPos++);
    int j = 0;
    for (; j < 7; ++j) {
      const fw::BYTE nData = At(pMsg, nLen, nPos);
      if (nData == SYSEX_END) {
        bDamaged = true;  // the reply ended where a data byte or the checksum was due
        break;
      }
      ++nPos;
      nSum += nData;
      if (result.nBytes < nCapacity) {
        const bool bHighBit = (nHigh & (0x40 >> j)) != 0;
        pOut[result.nBytes++] = static_cast<fw::BYTE>(bHighBit ? (nData | 0x80) : nData);
      }
      if (At(pMsg, nLen, nPos + 1) == SYSEX_END && At(pMsg, nLen, nPos) != SYSEX_END) {
        nChecksum = At(pMsg, nLen, nPos);
        bHaveChecksum = true;
        break;
      }
    }
    if (bHaveChecksum || bDamaged) {
      break;
    }
    if (At(pMsg, nLen, nPos) == SYSEX_END) {
      break;  // seven data bytes and the end: no checksum to check
    }
  }
  if (bHaveChecksum) {
    result.bChecksumOk = ((nSum + nChecksum) & 0x7F) == 0;
  } else if (bDamaged) {
    result.bChecksumOk = false;
  }
  if (!result.bChecksumOk && result.nBytes > 0) {
    pOut[0] = static_cast<fw::BYTE>(~pOut[0]);
  }
  return result;
}

}  // namespace velda
