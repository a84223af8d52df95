// Decoding of the area-check reply: F0 43 5x 03 xx 03 41, the instrument's bytes packed 7-in-8,
// a 7-bit checksum, F7.
#pragma once

#include <cstddef>

#include "fw/types.h"

namespace velda {

struct CAreaDecodeResult {
  std::size_t nBytes = 0;   // bytes written to the output
  bool bChecksumOk = true;  // false: the first decoded byte was complemented
};

// Decodes the reply of nLen bytes at pMsg into pOut, writing at most nCapacity bytes and never
// reading past the reply. A bad checksum complements the first decoded byte, so that a damaged
// reply compares as different. A reply that ends where a data byte or its checksum is due is
// damaged as well.
CAreaDecodeResult DecodeAreaReply(const fw::BYTE* pMsg, std::size_t nLen, fw::BYTE* pOut, std::size_t nCapacity);

}  // namespace velda
