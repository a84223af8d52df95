// The icon of a message-box type by name, as the terminal's JSON lines and the web page show it.
#pragma once

#include "fw/types.h"

namespace fw {

// "information", "exclamation", "stop", "question" or "none".
inline const char* BoxIconName(UINT uType) {
  switch (uType & MB_ICONMASK) {
    case MB_ICONINFORMATION:
      return "information";
    case MB_ICONEXCLAMATION:
      return "exclamation";
    case MB_ICONSTOP:
      return "stop";
    case MB_ICONQUESTION:
      return "question";
    default:
      return "none";
  }
}

}  // namespace fw
