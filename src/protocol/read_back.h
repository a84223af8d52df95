// Read-back verification (--verify): the memory ranges an installation wrote, read back with
// area requests of at most 4096 bytes and compared with the package's bytes. The arithmetic and
// the texts are here; the dialog's steps drive them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fw/types.h"

namespace velda {

// The most bytes one area request reads back: what one reply can carry.
inline constexpr fw::UINT READ_BACK_CHUNK = 4096;

// Status text while the read-back runs.
inline constexpr const char* TXT_READ_BACK = "Verify Data.";

// A range written to the instrument: nLength bytes at nAddress of device nDevice, taken from
// slot nEntry's data from nEntryOffset on.
struct CWrittenRange {
  int nDevice = 0;
  fw::UINT nAddress = 0;
  fw::UINT nLength = 0;
  int nEntry = 0;
  fw::UINT nEntryOffset = 0;
};

// Adds a range; one that continues the last (same device and entry, address and offset both
// running on) lengthens it instead.
void AddWrittenRange(std::vector<CWrittenRange>& aRanges, const CWrittenRange& range);

// Bytes all ranges hold together.
std::uint64_t ReadBackTotal(const std::vector<CWrittenRange>& aRanges);

// The next area request: nDone bytes of the range already read back; at most READ_BACK_CHUNK
// bytes, never past the range.
CWrittenRange ReadBackChunk(const CWrittenRange& range, fw::UINT nDone);

// Index of the first byte where the instrument's bytes differ from the expected ones; a reply
// that carried fewer bytes differs where it ends. -1 when all expected bytes are equal.
long FirstDifference(std::span<const fw::BYTE> aReceived, std::span<const fw::BYTE> aExpected);

// The box text for a difference at nIndex of a chunk. nActual is -1 when the reply held no byte
// there.
std::string ReadBackFailureText(const CWrittenRange& chunk, const std::string& strEntry, fw::UINT nIndex,
                                fw::BYTE nExpected, int nActual);

}  // namespace velda
