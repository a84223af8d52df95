#include "script/package_reader.h"

#include <algorithm>
#include <cstring>

namespace velda {

bool FitsInPackage(UINT nSize, UINT nPos, UINT n) { return nPos <= nSize && n <= nSize - nPos; }

bool ReadBigEndianU32(std::span<const BYTE> aImage, UINT& nPos, UINT& nValue) {
  nValue = 0;
  if (aImage.size() < 4 || nPos > aImage.size() - 4) {
    return false;
  }
  for (UINT i = 0; i < 4; ++i) {
    nValue = (nValue << 8) | aImage[nPos + i];
  }
  nPos += 4;
  return true;
}

void InvertBytes(std::span<BYTE> aBytes) {
  for (BYTE& b : aBytes) {
    b = static_cast<BYTE>(~b);
  }
}

fw::CString DecodeInverted(std::span<const BYTE> aStored) {
  std::string str(aStored.size(), '\0');
  std::transform(aStored.begin(), aStored.end(), str.begin(),
                 [](BYTE b) { return static_cast<char>(static_cast<BYTE>(~b)); });
  return fw::CString(std::string_view(str));
}

UINT CopyPackageBytes(std::span<const BYTE> aImage, UINT& nPos, BYTE* pDst, UINT n) {
  const auto nSize = static_cast<UINT>(std::min<std::size_t>(aImage.size(), 0xFFFFFFFFu));
  if (!FitsInPackage(nSize, nPos, n)) {
    return 0;
  }
  if (n > 0) {
    std::memcpy(pDst, aImage.data() + nPos, n);
  }
  nPos += n;
  return n;
}

CEntryLookup FindPackageEntry(std::span<const BYTE> aImage, UINT nEntriesStart, const fw::CString& strLowerName) {
  const auto nSize = static_cast<UINT>(std::min<std::size_t>(aImage.size(), 0xFFFFFFFFu));
  CEntryLookup r;
  r.nPos = std::min(nEntriesStart, nSize);
  if (nEntriesStart >= nSize) {
    return r;
  }
  UINT nPos = nEntriesStart;
  while (nPos < nSize) {
    UINT nNameLen = 0;
    if (!ReadBigEndianU32(aImage, nPos, nNameLen) || !FitsInPackage(nSize, nPos, nNameLen)) {
      nPos = nSize;  // a malformed tail: nothing more to find
      break;
    }
    fw::CString strCandidate = DecodeInverted(aImage.subspan(nPos, nNameLen));
    nPos += nNameLen;
    if (strCandidate.MakeLower() == strLowerName) {
      r.bFound = true;
      r.nPos = nPos;
      return r;
    }
    UINT nDataLen = 0;
    if (!ReadBigEndianU32(aImage, nPos, nDataLen) || !FitsInPackage(nSize, nPos, nDataLen)) {
      nPos = nSize;
      break;
    }
    nPos += nDataLen;
  }
  r.nPos = nPos;
  return r;
}

}  // namespace velda
