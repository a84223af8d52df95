// What a package holds, as the installer's package reader sees it: the script, and every named
// entry in file order with where it lies, its fingerprint and whether a lookup by its name finds
// it or an earlier entry of the same name.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "script/package_check.h"

namespace velda::uxs {

struct CListedEntry {
  std::string strName;            // decoded, as stored (letter case kept)
  std::uint32_t nHeaderAt = 0;    // offset of its name length field
  std::uint32_t nDataAt = 0;      // offset of its first data byte
  std::uint32_t nDataLength = 0;  // data length
  std::uint32_t nCrc32 = 0;       // CRC-32 of the data
  bool bFound = true;             // a lookup by this name finds this entry
  int nFoundIndex = 0;            // the entry a lookup by this name finds (its index)
};

struct CPackageListing {
  CPackageCheck check;                 // the installer's structure check
  std::uint32_t nScriptLength = 0;     // the script length field
  std::string strScript;               // the decoded script (empty when it passes the end)
  std::vector<CListedEntry> aEntries;  // every entry that lies wholly inside the file
};

// Walks a package image; stops at the first entry that passes the end of the file.
CPackageListing ListPackage(std::span<const std::uint8_t> aImage);

// The data of an entry inside the image.
std::span<const std::uint8_t> EntryData(std::span<const std::uint8_t> aImage, const CListedEntry& entry);

}  // namespace velda::uxs
