#include "script/script_number.h"

namespace velda {

fw::UINT ParseScriptHex(std::string_view svText) {
  fw::UINT nValue = 0;
  for (const char ch : svText) {
    const auto c = static_cast<fw::BYTE>(ch);
    if (c == '*') {
      continue;
    }
    nValue <<= 4;
    if (c >= '0' && c <= '9') {
      nValue |= static_cast<fw::UINT>(c - '0');
    } else if (c >= 'A' && c <= 'Z') {
      nValue |= static_cast<fw::UINT>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'z') {
      nValue |= static_cast<fw::UINT>(c - 'a' + 10);
    }
  }
  return nValue;
}

fw::UINT NumericArgument(fw::CString strToken) { return ParseScriptHex(strToken.TrimWhite().View()); }

fw::CString EntryNameArgument(fw::CString strToken) {
  strToken.TrimWhite().Trim('"').MakeLower();
  return strToken;
}

fw::CString KeywordArgument(fw::CString strToken) {
  strToken.Remove('"');
  return strToken;
}

fw::CString ModelNameArgument(fw::CString strToken) {
  strToken.TrimWhite().Trim('"');
  return strToken;
}

}  // namespace velda
