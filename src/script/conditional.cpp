#include "script/conditional.h"

#include "script/keyword_table.h"
#include "script/script_reader.h"

namespace velda {

CStatementScreen ScreenStatement(std::uint8_t nState, int nStatement, int nTokenResult) {
  CStatementScreen r;
  r.nNextState = nState;
  if (nState != SKIP_TO_ENDIF) {
    r.bExecute = true;
    return r;
  }
  if (nStatement == STMT_ENDIF) {
    r.nNextState = SKIP_NONE;
  } else if (nTokenResult != TOKEN_AT_CR) {
    r.bSkipRestOfLine = true;
  }
  return r;
}

std::uint8_t SkipStateAfterMatch(std::uint8_t nState) { return nState == SKIP_IF_SEEN ? SKIP_TO_ENDIF : nState; }

}  // namespace velda
