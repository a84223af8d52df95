#include "protocol/steps/reply_steps.h"

#include "shell/steps.h"

namespace velda {

fw::UINT ReplyStepFor(EReplyKind nKind) {
  switch (nKind) {
    case EReplyKind::ModeOn:
      return ID_REPLY_MODE_ON;
    case EReplyKind::ModeOff:
      return ID_REPLY_MODE_OFF;
    case EReplyKind::Inquiry:
      return ID_REPLY_INQUIRY;
    case EReplyKind::SetDevice:
      return ID_REPLY_SET_DEVICE;
    case EReplyKind::BlockStart:
      return ID_REPLY_BLOCK_START;
    case EReplyKind::DataPacket:
      return ID_REPLY_DATA_PACKET;
    case EReplyKind::AreaCheck:
      return ID_REPLY_AREA_CHECK;
    case EReplyKind::WriteBlock:
      return ID_REPLY_WRITE_BLOCK;
    case EReplyKind::BlockChecksum:
      return ID_REPLY_BLOCK_CHECKSUM;
    case EReplyKind::BaudUp:
      return ID_REPLY_BAUD_UP;
    case EReplyKind::BaudReset:
      return ID_REPLY_BAUD_RESET;
    case EReplyKind::Group05Cmd43:
      return ID_MARK_REPLY_05C;
    case EReplyKind::None:
      break;
  }
  return 0;
}

bool ReplyStepHasHandler(fw::UINT nStep) { return nStep != 0 && nStep != ID_MARK_REPLY_05C; }

}  // namespace velda
