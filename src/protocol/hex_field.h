// Numbers inside protocol payloads travel as ASCII hexadecimal digits: 8 digits for addresses,
// lengths and offsets, and 4-digit fields that carry only the low 16 bits.
#pragma once

#include "fw/cstring.h"
#include "fw/types.h"

namespace velda {

// Appends the 8 upper-case hex digits of nValue, most significant first, leading zeros kept.
void AppendHex8(fw::UINT nValue, fw::CString& str);
// Appends the last 4 of those 8 digits: the low 16 bits; higher bits are dropped.
void AppendHex4(fw::UINT nValue, fw::CString& str);

// The same digits written straight into a message buffer (8 or 4 bytes at p).
void WriteHex8(fw::UINT nValue, fw::BYTE* p);
void WriteHex4(fw::UINT nValue, fw::BYTE* p);

}  // namespace velda
