// Intel HEX text for one device's memory, so that objcopy and firmware tools can read what the
// instrument holds and tests can preset it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "instrument/sparse_memory.h"

namespace velda::sim {

// The written bytes in address order as data records (type 00) of at most 16 bytes, each within
// one 16-byte line, with an extended linear address record (type 04) wherever the upper 16 bits
// of the address change (they start at 0), and the end-of-file record. Lines end in CR LF.
std::string FormatIntelHex(const CSparseMemory& memory);

// The same text handed out a piece at a time (whole lines, a few KiB each), so that a large memory
// is written out without its text ever being held whole.
void WriteIntelHex(const CSparseMemory& memory, const std::function<void(std::string_view)>& fnPut);

// Reads Intel HEX into memory: record types 00, 01, 02 (extended segment), 04 (extended linear);
// the start-address records 03 and 05 are accepted and ignored. Upper- or lower-case digits,
// LF or CR LF lines, blank lines skipped, nothing read after the end-of-file record. On an error
// returns false with "line <n>: <reason>" in strError and leaves memory untouched.
bool ParseIntelHex(std::string_view strText, CSparseMemory& memory, std::string& strError);

}  // namespace velda::sim
