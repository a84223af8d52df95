// One slot of the data-entry table: a named package entry loaded by OPEN_DATA_FILE.
#pragma once

#include "fw/cstring.h"
#include "fw/types.h"

namespace velda {

constexpr int ENTRY_SLOTS = 50;

// True when a script's slot number addresses one of the table's slots.
constexpr bool IsSlotIndex(long long n) { return n >= 0 && n < ENTRY_SLOTS; }

struct CDataEntry {
  fw::CString strName;              // lower-case name as the script gave it; empty: slot free
  fw::UINT nSize = 0;               // data length; 0: nothing loaded
  const fw::BYTE* pData = nullptr;  // the entry's bytes inside the package image (not a copy)
  fw::UINT nPos = 0;                // next byte to send
  int nState = 0;                   // 2: to be written
};

}  // namespace velda
