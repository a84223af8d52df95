#include "script/script_reader.h"

#include <algorithm>

namespace velda {

UINT CScriptText::End() const { return static_cast<UINT>(std::min<std::size_t>(nLen, svText.size())); }

namespace {

// Takes the characters from nPos through the next LF (or to the end) into strLine, dropping CR;
// returns the position after the last character taken.
UINT TakeLine(const CScriptText& script, UINT nPos, fw::CString& strLine) {
  const UINT nEnd = script.End();
  strLine.Empty();
  while (nPos < nEnd) {
    const char c = script.svText[nPos++];
    if (c == '\n') {
      break;
    }
    if (c != '\r') {
      strLine += c;
    }
  }
  return nPos;
}

}  // namespace

CLineRead ReadScriptLine(const CScriptText& script, UINT& nPos, fw::CString& strLine) {
  CLineRead r;
  if (nPos >= script.End()) {
    return r;
  }
  const UINT nAfter = TakeLine(script, nPos, strLine);
  r.bMarkLineRead = true;
  if (strLine.IsEmpty() || strLine[0] == '#' || strLine[0] == ';') {
    nPos = nAfter;
    r.nResult = LINE_PASSED_OVER;
  } else {
    r.nResult = strLine.GetLength();
  }
  return r;
}

void SkipScriptLine(const CScriptText& script, UINT& nPos, fw::CString& strLine) {
  if (nPos >= script.End()) {
    return;
  }
  nPos = TakeLine(script, nPos, strLine);
}

CTokenRead ReadScriptToken(const CScriptText& script, UINT& nPos, fw::CString& strToken) {
  const UINT nEnd = script.End();
  CTokenRead r;
  strToken.Empty();
  for (;;) {
    if (nPos >= nEnd) {
      r.nResult = TOKEN_AT_END;
      break;
    }
    const char c = script.svText[nPos];
    if (c == ',') {
      r.nResult = TOKEN_AT_COMMA;
      break;
    }
    ++nPos;
    if (c == '\r') {
      r.nResult = TOKEN_AT_CR;
      break;
    }
    strToken += c;
  }
  // Past the comma or the character after the CR; at the end, one beyond and no further.
  if (nPos <= nEnd) {
    ++nPos;
  }
  return r;
}

}  // namespace velda
