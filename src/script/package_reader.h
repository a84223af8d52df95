// Reading the package image in memory: big-endian lengths, inverted text, bounded copies and the
// walk over the named entries. Every reader stays inside the image, whatever its lengths claim.
#pragma once

#include <span>

#include "fw/cstring.h"
#include "fw/types.h"

namespace velda {

using fw::BYTE;
using fw::UINT;

// True when n bytes starting at nPos lie inside an image of nSize bytes (no 32-bit wrap-around).
bool FitsInPackage(UINT nSize, UINT nPos, UINT n);

// The big-endian 32-bit number at nPos; the cursor moves on by 4. When fewer than 4 bytes remain,
// nothing is read: the result is false, nValue 0 and the cursor unchanged.
bool ReadBigEndianU32(std::span<const BYTE> aImage, UINT& nPos, UINT& nValue);

// Flips all eight bits of every byte; the same operation encodes and decodes.
void InvertBytes(std::span<BYTE> aBytes);

// The text whose stored (inverted) bytes are given.
fw::CString DecodeInverted(std::span<const BYTE> aStored);

// Copies n stored bytes from the cursor to pDst and moves the cursor on by n; when they would pass
// the end of the image, copies nothing, leaves the cursor and returns 0. Returns the bytes copied.
UINT CopyPackageBytes(std::span<const BYTE> aImage, UINT& nPos, BYTE* pDst, UINT n);

struct CEntryLookup {
  bool bFound = false;
  UINT nPos = 0;  // found: the entry's data length field; else where the walk stopped
};

// Walks the named entries from nEntriesStart and compares each decoded, lower-cased name with
// strLowerName byte for byte; the first equal one is found.
CEntryLookup FindPackageEntry(std::span<const BYTE> aImage, UINT nEntriesStart, const fw::CString& strLowerName);

}  // namespace velda
