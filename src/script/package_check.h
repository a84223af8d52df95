// The structure check run on a whole package before any of its statements: a package whose
// lengths pass its end, or whose script holds a NUL, is refused as a whole.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "fw/types.h"

namespace velda {

enum class EPackageFault {
  None,
  TruncatedHeader,      // shorter than the 4 bytes of the script length
  ScriptLengthPastEnd,  // the script length passes the end of the file
  NulInScript,          // a stored byte 0xFF (a NUL once decoded) inside the script
  NameLengthPastEnd,    // an entry's name length field is cut off by the end of the file
  NamePastEnd,          // an entry's name passes the end of the file
  DataLengthPastEnd,    // an entry's data length field is cut off by the end of the file
  DataPastEnd,          // an entry's data passes the end of the file
  TooLarge,             // more bytes than 32-bit offsets reach
};

struct CPackageCheck {
  EPackageFault eFault = EPackageFault::None;
  std::string strDescription;  // for people: what is wrong and where; empty when sound
  bool IsSound() const { return eFault == EPackageFault::None; }
};

// A short, stable, machine-readable name of a fault ("script-length-past-end", ...); "ok" for None.
const char* PackageFaultName(EPackageFault eFault);

// The largest package the 32-bit length fields can describe.
inline constexpr std::size_t MAX_PACKAGE_SIZE = 0xFFFFFFFFu;

// Checks the layout of a whole package image: header, script, then every named entry in turn.
// The first fault found is reported.
CPackageCheck CheckPackage(std::span<const fw::BYTE> aImage, std::size_t nMaxSize = MAX_PACKAGE_SIZE);

}  // namespace velda
