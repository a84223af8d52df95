#include "fw/codepage.h"

#include <atomic>

namespace fw {

namespace {
std::atomic<UINT> g_nCodePage{1252};
}  // namespace

void SetAnsiCodePage(UINT nCodePage) { g_nCodePage.store(nCodePage); }

UINT GetAnsiCodePage() { return g_nCodePage.load(); }

bool IsLeadByte(BYTE b) {
  switch (g_nCodePage.load()) {
    case 932:  // Shift-JIS
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:  // GBK
    case 949:  // Unified Hangul
    case 950:  // Big5
      return b >= 0x81 && b <= 0xFE;
    default:
      return false;
  }
}

BYTE LowerSingleByte(BYTE b) {
  if (b >= 'A' && b <= 'Z') {
    return static_cast<BYTE>(b + 0x20);
  }
  if (g_nCodePage.load() != 1252) {
    return b;  // other code pages: ASCII letters only
  }
  // Code page 1252's capitals outside ASCII.
  if ((b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
    return static_cast<BYTE>(b + 0x20);
  }
  switch (b) {
    case 0x8A:
      return 0x9A;  // S caron
    case 0x8C:
      return 0x9C;  // OE
    case 0x8E:
      return 0x9E;  // Z caron
    case 0x9F:
      return 0xFF;  // Y diaeresis
    default:
      return b;
  }
}

}  // namespace fw
