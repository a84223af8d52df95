// The conditional blocks of the script: IF, AREA_CHECK and ENDIF steer whether statements run.
#pragma once

#include <cstdint>

namespace velda {

inline constexpr std::uint8_t SKIP_NONE = 0;      // statements run
inline constexpr std::uint8_t SKIP_TO_ENDIF = 1;  // statements are passed over up to an ENDIF
inline constexpr std::uint8_t SKIP_IF_SEEN = 2;   // an IF was seen: an area match starts skipping

struct CStatementScreen {
  std::uint8_t nNextState = SKIP_NONE;
  bool bExecute = false;         // run the statement
  bool bSkipRestOfLine = false;  // pass over what is left of the keyword's line
};

// What the statement step does with a keyword (its statement number and the result of reading
// it) in the given state. While skipping, only ENDIF counts: it ends the skipping; any other
// line is passed over whole, with no nesting of IF lines.
CStatementScreen ScreenStatement(std::uint8_t nState, int nStatement, int nTokenResult);

// The state after an area compared equal: an IF seen turns into skipping; otherwise unchanged.
std::uint8_t SkipStateAfterMatch(std::uint8_t nState);

}  // namespace velda
