#include "script/keyword_table.h"

namespace velda {

int FindKeyword(const fw::CString& strToken) {
  for (int i = 0; i < STMT_NONE; ++i) {
    if (strToken.CompareNoCase(fw::CString(KEYWORD_TABLE[static_cast<std::size_t>(i)])) == 0) {
      return i;
    }
  }
  return STMT_NONE;
}

}  // namespace velda
