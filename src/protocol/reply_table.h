// Recognising the instrument's replies: the header F0 43 5x 03, then group and command select
// the step that announces the reply.
#pragma once

#include <cstddef>

#include "fw/types.h"

namespace velda {

// Shortest reply the installer acts on: the seven header bytes and one more (status, first
// text or packed byte, or F7).
constexpr std::size_t MIN_REPLY_LENGTH = 8;

// F0, 43, a byte whose high nibble is 5, 03; byte 4 and the low nibble of byte 2 are not examined.
bool IsReplyHeader(const fw::BYTE* pMsg, std::size_t nLen);

// The step announcing a reply with this group (byte 5) and command (byte 6); 0 for none.
fw::UINT ReplyStepFor(fw::BYTE nGroup, fw::BYTE nCommand);

// The step for a complete message, or 0 when it is no reply the installer knows.
fw::UINT ClassifyReply(const fw::BYTE* pMsg, std::size_t nLen);

// Whether a handler acts on the step (every reply step but the marker of group 05 command 43),
// so that the reply's bytes must be kept until the step runs.
bool ReplyStepHasHandler(fw::UINT nStep);

// The status byte (offset 7) of a reply; F7 when the reply carries none.
fw::BYTE ReplyStatus(const fw::BYTE* pMsg, std::size_t nLen);

constexpr fw::BYTE STATUS_ACCEPTED = 0x01;
constexpr fw::BYTE STATUS_RESEND = 0x02;

}  // namespace velda
