// Numbers in the script: hexadecimal digits without prefix, and the clean-ups the statements
// apply to their arguments before use.
#pragma once

#include <string_view>

#include "fw/cstring.h"
#include "fw/types.h"

namespace velda {

// Hexadecimal text to a 32-bit number. "*" is skipped; every other character shifts in one digit:
// 0-9 their value, letters A-Z / a-z 10 to 35 (OR-ed in, so G gives 16), anything else 0. Only
// the last eight digits survive.
fw::UINT ParseScriptHex(std::string_view svText);

// A numeric argument: trimmed of white space, then converted.
fw::UINT NumericArgument(fw::CString strToken);

// An entry name argument: trimmed of white space, then of double quotes at both ends, lower-cased.
fw::CString EntryNameArgument(fw::CString strToken);

// The KEYWORD argument: every double quote removed, white space kept.
fw::CString KeywordArgument(fw::CString strToken);

// The MODEL_NAME argument: trimmed of white space, then of double quotes at both ends.
fw::CString ModelNameArgument(fw::CString strToken);

}  // namespace velda
