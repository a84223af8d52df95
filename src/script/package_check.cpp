#include "script/package_check.h"

#include <algorithm>

#include "script/package_reader.h"

namespace velda {

namespace {

CPackageCheck Fault(EPackageFault eFault, std::string strDescription) {
  CPackageCheck r;
  r.eFault = eFault;
  r.strDescription = std::move(strDescription);
  return r;
}

std::string Num(std::size_t n) { return std::to_string(n); }

}  // namespace

const char* PackageFaultName(EPackageFault eFault) {
  switch (eFault) {
    case EPackageFault::None:
      return "ok";
    case EPackageFault::TruncatedHeader:
      return "truncated-header";
    case EPackageFault::ScriptLengthPastEnd:
      return "script-length-past-end";
    case EPackageFault::NulInScript:
      return "nul-in-script";
    case EPackageFault::NameLengthPastEnd:
      return "name-length-past-end";
    case EPackageFault::NamePastEnd:
      return "name-past-end";
    case EPackageFault::DataLengthPastEnd:
      return "data-length-past-end";
    case EPackageFault::DataPastEnd:
      return "data-past-end";
    case EPackageFault::TooLarge:
      return "too-large";
  }
  return "unknown";
}

CPackageCheck CheckPackage(std::span<const fw::BYTE> aImage, std::size_t nMaxSize) {
  if (aImage.size() > nMaxSize) {
    return Fault(EPackageFault::TooLarge, "the file holds " + Num(aImage.size()) + " bytes, more than the " +
                                              Num(nMaxSize) + " its 32-bit lengths can address");
  }
  const auto nSize = static_cast<UINT>(aImage.size());
  if (nSize < 4) {
    return Fault(EPackageFault::TruncatedHeader,
                 "the file holds " + Num(nSize) + " bytes, too few for the 4-byte script length");
  }
  UINT nPos = 0;
  UINT nScriptLen = 0;
  ReadBigEndianU32(aImage, nPos, nScriptLen);
  if (!FitsInPackage(nSize, nPos, nScriptLen)) {
    return Fault(EPackageFault::ScriptLengthPastEnd, "the script length " + Num(nScriptLen) +
                                                         " passes the end of the file (" + Num(nSize - nPos) +
                                                         " bytes follow the length)");
  }
  const auto aScript = aImage.subspan(nPos, nScriptLen);
  const auto itNul = std::find(aScript.begin(), aScript.end(), fw::BYTE{0xFF});
  if (itNul != aScript.end()) {
    const auto nAt = static_cast<std::size_t>(itNul - aScript.begin());
    return Fault(EPackageFault::NulInScript, "the script holds a NUL character at script byte " + Num(nAt) +
                                                 " (file offset " + Num(nPos + nAt) + ")");
  }
  nPos += nScriptLen;

  for (std::size_t nEntry = 0; nPos < nSize; ++nEntry) {
    const std::string strWhere = "entry " + Num(nEntry) + " at offset " + Num(nPos);
    UINT nNameLen = 0;
    if (!ReadBigEndianU32(aImage, nPos, nNameLen)) {
      return Fault(EPackageFault::NameLengthPastEnd,
                   strWhere + ": its name length needs 4 bytes, " + Num(nSize - nPos) + " remain");
    }
    if (!FitsInPackage(nSize, nPos, nNameLen)) {
      return Fault(EPackageFault::NamePastEnd, strWhere + ": its name length " + Num(nNameLen) +
                                                   " passes the end of the file (" + Num(nSize - nPos) +
                                                   " bytes remain)");
    }
    nPos += nNameLen;
    UINT nDataLen = 0;
    if (!ReadBigEndianU32(aImage, nPos, nDataLen)) {
      return Fault(EPackageFault::DataLengthPastEnd,
                   strWhere + ": its data length needs 4 bytes, " + Num(nSize - nPos) + " remain");
    }
    if (!FitsInPackage(nSize, nPos, nDataLen)) {
      return Fault(EPackageFault::DataPastEnd, strWhere + ": its data length " + Num(nDataLen) +
                                                   " passes the end of the file (" + Num(nSize - nPos) +
                                                   " bytes remain)");
    }
    nPos += nDataLen;
  }
  return {};
}

}  // namespace velda
