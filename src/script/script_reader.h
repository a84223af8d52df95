// The script readers: one forward cursor over the decoded script, read a line, skip a line, read a
// token. They only report what must be shown (a line-read marker, a progress update); the dialog
// does the posting.
#pragma once

#include <string_view>

#include "fw/cstring.h"
#include "fw/types.h"

namespace velda {

using fw::UINT;

// Results of a token read.
inline constexpr int TOKEN_AT_COMMA = 1;
inline constexpr int TOKEN_AT_CR = 2;
inline constexpr int TOKEN_AT_END = -1;

// Results of a line read besides a statement's length.
inline constexpr int LINE_AT_END = -1;
inline constexpr int LINE_PASSED_OVER = 0;

// The script as the readers see it: its text and its length bound. Bytes at or beyond the bound,
// or beyond the text itself, are never read.
struct CScriptText {
  std::string_view svText;
  UINT nLen = 0;
  UINT End() const;
};

struct CLineRead {
  int nResult = LINE_AT_END;   // -1 end of script, 0 an empty or comment line consumed, n > 0 a statement
  bool bMarkLineRead = false;  // a line was looked at
};

// Looks at the line from the cursor. An empty or comment line ("#" or ";" first) is consumed; a
// statement leaves the cursor where it is and gives its length without CR characters.
CLineRead ReadScriptLine(const CScriptText& script, UINT& nPos, fw::CString& strLine);

// Passes over the rest of the current line, through its LF.
void SkipScriptLine(const CScriptText& script, UINT& nPos, fw::CString& strLine);

struct CTokenRead {
  int nResult = TOKEN_AT_END;  // TOKEN_AT_COMMA, TOKEN_AT_CR or TOKEN_AT_END
  bool bShowProgress = true;   // every read moves the All bar to the cursor
};

// Reads the run of characters up to the next comma, CR or the end of the script, and steps past
// the comma, past the character after the CR, or one beyond the end (never further).
CTokenRead ReadScriptToken(const CScriptText& script, UINT& nPos, fw::CString& strToken);

}  // namespace velda
