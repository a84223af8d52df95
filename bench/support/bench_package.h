// The package the installation benchmark installs: one script that switches update mode on,
// selects a device, loads one data entry and uploads it whole with UPDATE_DEVICE, then switches
// update mode off. The entry's bytes follow a pattern that is cheap to regenerate, so the
// benchmark checks the instrument's memory without holding a second copy of the entry.
#pragma once

#include <cstdint>
#include <string>

namespace velda::bench {

struct CBenchPlan {
  std::uint32_t nEntrySize = 16u << 20;  // bytes of the data entry
  std::uint32_t nBlockSize = 0x10000;    // UPDATE_DEVICE block size
  std::uint32_t nAddress = 0;            // instrument address of the first block
  std::uint8_t nDevice = 1;              // SET_UPDATE_DEVICE device number
  std::string strEntryName = "firm";     // lower case: the script's names are taken in lower case
};

// Byte nIndex of the entry: every value 0..255 occurs, bit 7 is set in half of them (so 7-in-8
// packing is exercised), and the pattern does not repeat with the packet or block size.
std::uint8_t EntryByte(std::uint64_t nIndex);

// The script text, lines ended by CR LF, numbers in hexadecimal without prefix.
std::string BenchScript(const CBenchPlan& plan);

// Writes the package file: the script's length and bit-inverted text, then the one entry (its
// name's length and bit-inverted name, its data's length and data), lengths big-endian. False
// with strError set when the file cannot be written.
bool WriteBenchPackage(const std::string& strPath, const CBenchPlan& plan, std::string& strError);

}  // namespace velda::bench
