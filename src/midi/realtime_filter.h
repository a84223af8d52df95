// Real-time bytes (F8 to FF: clock, start, stop, active sensing, reset) may come between any two
// bytes of a MIDI stream, even inside a system-exclusive message, and are no part of it. A
// backend that joins the parts of a message a bridge has split (for example at 256 bytes) can
// leave one inside the joined message; the input port drops those before they reach the queue.
#pragma once

#include "fw/types.h"

namespace velda {

constexpr bool IsRealtimeByte(fw::BYTE b) { return b >= 0xF8; }

// Whether a received byte goes into the queue, given whether a system-exclusive message is open
// (bInSysEx, carried from block to block and updated here). F0 opens a message; F7 or any other
// status byte below F8 closes it; a real-time byte inside it is dropped, one outside is kept.
constexpr bool KeepReceivedByte(fw::BYTE b, bool& bInSysEx) {
  if (IsRealtimeByte(b)) {
    return !bInSysEx;
  }
  if (b >= 0x80) {
    bInSysEx = b == 0xF0;
  }
  return true;
}

}  // namespace velda
