#include "protocol/read_back.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace velda {

void AddWrittenRange(std::vector<CWrittenRange>& aRanges, const CWrittenRange& range) {
  if (range.nLength == 0) return;
  if (!aRanges.empty()) {
    CWrittenRange& last = aRanges.back();
    if (last.nDevice == range.nDevice && last.nEntry == range.nEntry &&
        std::uint64_t{last.nAddress} + last.nLength == range.nAddress &&
        std::uint64_t{last.nEntryOffset} + last.nLength == range.nEntryOffset &&
        std::uint64_t{last.nLength} + range.nLength <= 0xFFFFFFFFU) {
      last.nLength += range.nLength;
      return;
    }
  }
  aRanges.push_back(range);
}

std::uint64_t ReadBackTotal(const std::vector<CWrittenRange>& aRanges) {
  std::uint64_t n = 0;
  for (const CWrittenRange& r : aRanges) n += r.nLength;
  return n;
}

CWrittenRange ReadBackChunk(const CWrittenRange& range, fw::UINT nDone) {
  CWrittenRange chunk = range;
  const fw::UINT nLeft = nDone < range.nLength ? range.nLength - nDone : 0;
  chunk.nAddress = range.nAddress + nDone;
  chunk.nEntryOffset = range.nEntryOffset + nDone;
  chunk.nLength = std::min(nLeft, READ_BACK_CHUNK);
  return chunk;
}

long FirstDifference(std::span<const fw::BYTE> aReceived, std::span<const fw::BYTE> aExpected) {
  for (std::size_t i = 0; i < aExpected.size(); ++i) {
    if (i >= aReceived.size() || aReceived[i] != aExpected[i]) return static_cast<long>(i);
  }
  return -1;
}

std::string ReadBackFailureText(const CWrittenRange& chunk, const std::string& strEntry, fw::UINT nIndex,
                                fw::BYTE nExpected, int nActual) {
  std::array<char, 160> a{};
  std::snprintf(a.data(), a.size(), "Device %d, address %08X: ", chunk.nDevice, chunk.nAddress + nIndex);
  std::string s = "Verify Error.\r\n";
  s += a.data();
  if (nActual < 0) {
    s += "the instrument did not send this byte back";
  } else {
    std::snprintf(a.data(), a.size(), "the instrument holds %02X", static_cast<unsigned>(nActual));
    s += a.data();
  }
  // The entry name may be long: it is added apart from the formatted parts.
  s += ", but entry \"" + strEntry + "\" has ";
  std::snprintf(a.data(), a.size(), "%02X there (offset %08X).", static_cast<unsigned>(nExpected),
                chunk.nEntryOffset + nIndex);
  s += a.data();
  return s;
}

}  // namespace velda
