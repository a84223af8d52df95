#include "protocol/hex_field.h"

#include <algorithm>
#include <string>

namespace velda {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The digits come out least significant first, one nibble at a time, and are then turned
// round; only the new digits are turned, so whatever the string held before stays in front.
std::string Hex8Digits(fw::UINT nValue) {
  std::string str;
  for (int i = 0; i < 8; ++i) {
    str.push_back(kDigits[nValue & 0x0F]);
    nValue >>= 4;
  }
  std::reverse(str.begin(), str.end());
  return str;
}

}  // namespace

void AppendHex8(fw::UINT nValue, fw::CString& str) { str += Hex8Digits(nValue).c_str(); }

void AppendHex4(fw::UINT nValue, fw::CString& str) { str += Hex8Digits(nValue).substr(4).c_str(); }

void WriteHex8(fw::UINT nValue, fw::BYTE* p) {
  const std::string str = Hex8Digits(nValue);
  std::copy(str.begin(), str.end(), p);
}

void WriteHex4(fw::UINT nValue, fw::BYTE* p) {
  const std::string str = Hex8Digits(nValue);
  std::copy(str.begin() + 4, str.end(), p);
}

}  // namespace velda
