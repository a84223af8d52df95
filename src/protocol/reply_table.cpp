#include "protocol/reply_table.h"

#include "protocol/messages.h"
#include "shell/steps.h"

namespace velda {

namespace {

struct CReplyRow {
  fw::BYTE nGroup;
  fw::BYTE nCommand;
  fw::UINT nStep;
};

constexpr CReplyRow kReplies[] = {
    {0x00, 0x40, ID_REPLY_MODE_ON},    {0x00, 0x41, ID_REPLY_MODE_OFF},    {0x00, 0x42, ID_REPLY_INQUIRY},
    {0x01, 0x41, ID_REPLY_SET_DEVICE}, {0x01, 0x42, ID_REPLY_BLOCK_START}, {0x03, 0x40, ID_REPLY_DATA_PACKET},
    {0x03, 0x41, ID_REPLY_AREA_CHECK}, {0x04, 0x41, ID_REPLY_WRITE_BLOCK}, {0x04, 0x42, ID_REPLY_BLOCK_CHECKSUM},
    {0x05, 0x40, ID_REPLY_BAUD_UP},    {0x05, 0x41, ID_REPLY_BAUD_RESET},  {0x05, 0x43, ID_MARK_REPLY_05C},
};

}  // namespace

bool IsReplyHeader(const fw::BYTE* pMsg, std::size_t nLen) {
  return nLen >= 4 && pMsg[0] == SYSEX_START && pMsg[1] == 0x43 && (pMsg[2] & 0xF0) == 0x50 && pMsg[3] == 0x03;
}

fw::UINT ReplyStepFor(fw::BYTE nGroup, fw::BYTE nCommand) {
  for (const CReplyRow& row : kReplies) {
    if (row.nGroup == nGroup && row.nCommand == nCommand) {
      return row.nStep;
    }
  }
  return 0;
}

fw::UINT ClassifyReply(const fw::BYTE* pMsg, std::size_t nLen) {
  if (nLen < MIN_REPLY_LENGTH || !IsReplyHeader(pMsg, nLen)) {
    return 0;
  }
  return ReplyStepFor(pMsg[5], pMsg[6]);
}

bool ReplyStepHasHandler(fw::UINT nStep) { return nStep != 0 && nStep != ID_MARK_REPLY_05C; }

fw::BYTE ReplyStatus(const fw::BYTE* pMsg, std::size_t nLen) { return nLen > 7 ? pMsg[7] : SYSEX_END; }

}  // namespace velda
