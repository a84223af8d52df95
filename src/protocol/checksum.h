// The 7-bit packet checksum: the low 7 bits of the sum of the checksummed bytes plus the
// checksum byte are 0.
#pragma once

#include <cstddef>

#include "fw/types.h"

namespace velda {

// (128 - S mod 128) mod 128, where S is the sum of the n bytes at p.
fw::BYTE PacketChecksum(const fw::BYTE* p, std::size_t n);

}  // namespace velda
