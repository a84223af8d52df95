// The package reader and the entry lookup fed any bytes: the structure check, then the walk for
// names taken from the input itself. Nothing may be read outside the image.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "script/package_check.h"
#include "script/package_reader.h"

using namespace velda;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::span<const BYTE> aImage(pData, nSize);
  const CPackageCheck check = CheckPackage(aImage);
  if (check.IsSound() != check.strDescription.empty()) __builtin_trap();

  UINT nPos = 0;
  UINT nScriptLen = 0;
  if (!ReadBigEndianU32(aImage, nPos, nScriptLen)) return 0;
  const UINT nEntriesStart = FitsInPackage(static_cast<UINT>(nSize), nPos, nScriptLen) ? nPos + nScriptLen : nPos;
  // Look up names of one to eight characters cut from the input, and the first entry's own name.
  for (std::size_t i = 0; i + 8 <= nSize && i < 64; i += 8) {
    std::string strName(reinterpret_cast<const char*>(pData + i), 1 + pData[i] % 8);
    for (char& c : strName) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const CEntryLookup found = FindPackageEntry(aImage, nEntriesStart, fw::CString(std::string_view(strName)));
    // A found entry's cursor stands on its data length field, which may itself be cut off by the
    // end: the cursor stays inside the image, and reading the length from there reads nothing.
    if (found.bFound && (found.nPos > nSize || found.nPos < nEntriesStart + 4)) __builtin_trap();
    UINT nLenPos = found.nPos;
    UINT nDataLen = 0;
    const bool bLength = found.bFound && ReadBigEndianU32(aImage, nLenPos, nDataLen);
    if (found.bFound && bLength != FitsInPackage(static_cast<UINT>(nSize), found.nPos, 4)) __builtin_trap();
  }
  BYTE aCopy[64];
  UINT nCursor = nEntriesStart;
  const UINT nWant = nSize > 0 ? pData[0] % 65 : 0;
  const UINT nCopied = CopyPackageBytes(aImage, nCursor, aCopy, nWant);
  if (nCopied != 0 && nCopied != nWant) __builtin_trap();
  if (nScriptLen < 4096 && FitsInPackage(static_cast<UINT>(nSize), 4, nScriptLen)) {
    (void)DecodeInverted(aImage.subspan(4, nScriptLen));
  }
  return 0;
}
