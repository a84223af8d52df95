// The script's keywords; a keyword's place in the table is its statement number.
#pragma once

#include <array>

#include "fw/cstring.h"

namespace velda {

enum EStatement : int {
  STMT_KEYWORD = 0,
  STMT_SET_UPDATE_MODE_ON = 1,
  STMT_SET_UPDATE_MODE_OFF = 2,
  STMT_UP_BAUDRATE = 3,
  STMT_RESET_BAUDRATE = 4,
  STMT_MODEL_NAME = 5,
  STMT_SET_UPDATE_DEVICE = 6,
  STMT_OPEN_DATA_FILE = 7,
  STMT_UPDATE_DEVICE = 8,
  STMT_UPDATE_BLOCK = 9,
  STMT_UPDATE_AREA = 10,
  STMT_IF = 11,
  STMT_ENDIF = 12,
  STMT_AREA_CHECK = 13,
  STMT_NONE = 14,  // no keyword matched
};

inline constexpr std::array<const char*, STMT_NONE> KEYWORD_TABLE = {
    "KEYWORD",        "SET_UPDATE_MODE_ON", "SET_UPDATE_MODE_OFF", "UP_BAUDRATE",
    "RESET_BAUDRATE", "MODEL_NAME",         "SET_UPDATE_DEVICE",   "OPEN_DATA_FILE",
    "UPDATE_DEVICE",  "UPDATE_BLOCK",       "UPDATE_AREA",         "IF",
    "ENDIF",          "AREA_CHECK",
};

// The statement number of a token, compared untrimmed and without regard to letter case by the
// code page's rules; STMT_NONE when no keyword is equal.
int FindKeyword(const fw::CString& strToken);

}  // namespace velda
