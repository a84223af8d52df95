// Comparing an area read back from the instrument with the bytes a data entry expects there.
#pragma once

#include <span>

#include "fw/types.h"

namespace velda {

// The most bytes one area request may ask for: what one reply can carry back.
inline constexpr fw::UINT AREA_CHECK_MAX_LENGTH = 4096;

// True when the expected bytes lie inside the slot's data and the request fits one reply.
bool AreaCheckFits(fw::UINT nSlotSize, fw::UINT nOffset, fw::UINT nLength);

// True when the first nLength received bytes equal the slot's bytes from nOffset on (always for a
// length of 0). A request that does not fit, or a reply that carried fewer bytes than asked,
// never matches.
bool AreaMatches(std::span<const fw::BYTE> aReceived, std::span<const fw::BYTE> aSlotData, fw::UINT nOffset,
                 fw::UINT nLength);

}  // namespace velda
