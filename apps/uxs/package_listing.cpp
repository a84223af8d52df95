#include "package_listing.h"

#include "crc32.h"
#include "script/package_reader.h"

namespace velda::uxs {

CPackageListing ListPackage(std::span<const std::uint8_t> aImage) {
  CPackageListing r;
  r.check = CheckPackage(aImage);
  if (r.check.eFault == EPackageFault::TooLarge || r.check.eFault == EPackageFault::TruncatedHeader) return r;
  const auto nSize = static_cast<UINT>(aImage.size());
  UINT nPos = 0;
  ReadBigEndianU32(aImage, nPos, r.nScriptLength);
  if (!FitsInPackage(nSize, nPos, r.nScriptLength)) return r;
  r.strScript = DecodeInverted(aImage.subspan(nPos, r.nScriptLength)).Str();
  const UINT nEntriesStart = nPos + r.nScriptLength;
  nPos = nEntriesStart;
  while (nPos < nSize) {
    CListedEntry e;
    e.nHeaderAt = nPos;
    UINT nNameLength = 0;
    if (!ReadBigEndianU32(aImage, nPos, nNameLength) || !FitsInPackage(nSize, nPos, nNameLength)) break;
    e.strName = DecodeInverted(aImage.subspan(nPos, nNameLength)).Str();
    nPos += nNameLength;
    const UINT nLengthField = nPos;
    if (!ReadBigEndianU32(aImage, nPos, e.nDataLength) || !FitsInPackage(nSize, nPos, e.nDataLength)) break;
    e.nDataAt = nPos;
    e.nCrc32 = Crc32(aImage.subspan(nPos, e.nDataLength));
    nPos += e.nDataLength;
    // The installer's own lookup decides which entry of a name it loads.
    fw::CString strLower(e.strName);
    strLower.MakeLower();
    const CEntryLookup found = FindPackageEntry(aImage, nEntriesStart, strLower);
    e.bFound = found.bFound && found.nPos == nLengthField;
    e.nFoundIndex = static_cast<int>(r.aEntries.size());
    if (!e.bFound) {
      for (std::size_t i = 0; i < r.aEntries.size(); ++i) {
        const CListedEntry& earlier = r.aEntries[i];
        if (earlier.nDataAt == found.nPos + 4) {
          e.nFoundIndex = static_cast<int>(i);
          break;
        }
      }
    }
    r.aEntries.push_back(std::move(e));
  }
  return r;
}

std::span<const std::uint8_t> EntryData(std::span<const std::uint8_t> aImage, const CListedEntry& entry) {
  return aImage.subspan(entry.nDataAt, entry.nDataLength);
}

}  // namespace velda::uxs
