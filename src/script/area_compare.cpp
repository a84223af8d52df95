#include "script/area_compare.h"

#include <algorithm>
#include <cstdint>

namespace velda {

bool AreaCheckFits(fw::UINT nSlotSize, fw::UINT nOffset, fw::UINT nLength) {
  return nLength <= AREA_CHECK_MAX_LENGTH &&
         std::uint64_t{nOffset} + std::uint64_t{nLength} <= std::uint64_t{nSlotSize};
}

bool AreaMatches(std::span<const fw::BYTE> aReceived, std::span<const fw::BYTE> aSlotData, fw::UINT nOffset,
                 fw::UINT nLength) {
  if (aSlotData.size() > 0xFFFFFFFFu || !AreaCheckFits(static_cast<fw::UINT>(aSlotData.size()), nOffset, nLength) ||
      aReceived.size() < nLength) {
    return false;
  }
  const auto aExpected = aSlotData.subspan(nOffset, nLength);
  return std::equal(aExpected.begin(), aExpected.end(), aReceived.begin());
}

}  // namespace velda
