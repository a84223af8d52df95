#include "protocol/reply_table.h"

#include "protocol/messages.h"

namespace velda {

namespace {

struct CReplyRow {
  fw::BYTE nGroup;
  fw::BYTE nCommand;
  EReplyKind nKind;
};

constexpr CReplyRow kReplies[] = {
    {0x00, 0x40, EReplyKind::ModeOn},    {0x00, 0x41, EReplyKind::ModeOff},    {0x00, 0x42, EReplyKind::Inquiry},
    {0x01, 0x41, EReplyKind::SetDevice}, {0x01, 0x42, EReplyKind::BlockStart}, {0x03, 0x40, EReplyKind::DataPacket},
    {0x03, 0x41, EReplyKind::AreaCheck}, {0x04, 0x41, EReplyKind::WriteBlock}, {0x04, 0x42, EReplyKind::BlockChecksum},
    {0x05, 0x40, EReplyKind::BaudUp},    {0x05, 0x41, EReplyKind::BaudReset},  {0x05, 0x43, EReplyKind::Group05Cmd43},
};

}  // namespace

bool IsReplyHeader(const fw::BYTE* pMsg, std::size_t nLen) {
  return nLen >= 4 && pMsg[0] == SYSEX_START && pMsg[1] == 0x43 && (pMsg[2] & 0xF0) == 0x50 && pMsg[3] == 0x03;
}

EReplyKind ReplyKindFor(fw::BYTE nGroup, fw::BYTE nCommand) {
  for (const CReplyRow& row : kReplies) {
    if (row.nGroup == nGroup && row.nCommand == nCommand) {
      return row.nKind;
    }
  }
  return EReplyKind::None;
}

EReplyKind ClassifyReply(const fw::BYTE* pMsg, std::size_t nLen) {
  if (nLen < MIN_REPLY_LENGTH || !IsReplyHeader(pMsg, nLen)) {
    return EReplyKind::None;
  }
  return ReplyKindFor(pMsg[5], pMsg[6]);
}

fw::BYTE ReplyStatus(const fw::BYTE* pMsg, std::size_t nLen) { return nLen > 7 ? pMsg[7] : SYSEX_END; }

}  // namespace velda
