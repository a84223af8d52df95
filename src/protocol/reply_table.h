// Recognising the instrument's replies: the header F0 43 5x 03, then group and command select
// the kind of reply.
#pragma once

#include <cstddef>

#include "fw/types.h"

namespace velda {

// Shortest reply the installer acts on: the seven header bytes and one more (status, first
// text or packed byte, or F7).
constexpr std::size_t MIN_REPLY_LENGTH = 8;

// F0, 43, a byte whose high nibble is 5, 03; byte 4 and the low nibble of byte 2 are not examined.
bool IsReplyHeader(const fw::BYTE* pMsg, std::size_t nLen);

// The replies the instrument gives, by group and command.
enum class EReplyKind {
  None,           // no reply the installer knows
  ModeOn,         // 00 40
  ModeOff,        // 00 41
  Inquiry,        // 00 42
  SetDevice,      // 01 41
  BlockStart,     // 01 42
  DataPacket,     // 03 40
  AreaCheck,      // 03 41
  WriteBlock,     // 04 41
  BlockChecksum,  // 04 42
  BaudUp,         // 05 40
  BaudReset,      // 05 41
  Group05Cmd43,   // 05 43: recognised, carries nothing the installer acts on
};

// The kind of a reply with this group (byte 5) and command (byte 6).
EReplyKind ReplyKindFor(fw::BYTE nGroup, fw::BYTE nCommand);

// The kind of a complete message; None when it is no reply the installer knows.
EReplyKind ClassifyReply(const fw::BYTE* pMsg, std::size_t nLen);

// The status byte (offset 7) of a reply; F7 when the reply carries none.
fw::BYTE ReplyStatus(const fw::BYTE* pMsg, std::size_t nLen);

constexpr fw::BYTE STATUS_ACCEPTED = 0x01;
constexpr fw::BYTE STATUS_RESEND = 0x02;

}  // namespace velda
