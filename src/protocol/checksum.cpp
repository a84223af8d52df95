#include "protocol/checksum.h"

namespace velda {

fw::BYTE PacketChecksum(const fw::BYTE* p, std::size_t n) {
  unsigned nSum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    nSum += p[i];
  }
  return static_cast<fw::BYTE>((128U - nSum % 128U) % 128U);
}

}  // namespace velda
