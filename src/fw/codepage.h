// The system's ANSI code page: which bytes start a double-byte character and how letters change
// case. Single-byte code page 1252 unless a double-byte one (932, 936, 949, 950) is configured.
#pragma once

#include "fw/types.h"

namespace fw {

void SetAnsiCodePage(UINT nCodePage);
UINT GetAnsiCodePage();

// TRUE when b starts a double-byte character in the configured code page.
bool IsLeadByte(BYTE b);

// The small letter of a single-byte character (unchanged when it has none).
BYTE LowerSingleByte(BYTE b);

}  // namespace fw
