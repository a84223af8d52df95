// Recognising replies: the header check, the group/command table and the step of each kind.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "protocol/reply_table.h"
#include "protocol/steps/reply_steps.h"
#include "shell/steps.h"

namespace velda {
namespace {

using V = std::vector<fw::BYTE>;

EReplyKind Classify(const V& msg) { return ClassifyReply(msg.data(), msg.size()); }

V Reply(fw::BYTE nGroup, fw::BYTE nCommand, fw::BYTE nStatus = 0x01) {
  return V{0xF0, 0x43, 0x50, 0x03, 0x00, nGroup, nCommand, nStatus, 0xF7};
}

TEST(ProtocolReplyTable, EveryReplyOfTheTable) {
  EXPECT_EQ(Classify(Reply(0x00, 0x40)), EReplyKind::ModeOn);
  EXPECT_EQ(Classify(Reply(0x00, 0x41)), EReplyKind::ModeOff);
  EXPECT_EQ(Classify(Reply(0x00, 0x42)), EReplyKind::Inquiry);
  EXPECT_EQ(Classify(Reply(0x01, 0x41)), EReplyKind::SetDevice);
  EXPECT_EQ(Classify(Reply(0x01, 0x42)), EReplyKind::BlockStart);
  EXPECT_EQ(Classify(Reply(0x03, 0x40)), EReplyKind::DataPacket);
  EXPECT_EQ(Classify(Reply(0x03, 0x41)), EReplyKind::AreaCheck);
  EXPECT_EQ(Classify(Reply(0x04, 0x41)), EReplyKind::WriteBlock);
  EXPECT_EQ(Classify(Reply(0x04, 0x42)), EReplyKind::BlockChecksum);
  EXPECT_EQ(Classify(Reply(0x05, 0x40)), EReplyKind::BaudUp);
  EXPECT_EQ(Classify(Reply(0x05, 0x41)), EReplyKind::BaudReset);
  EXPECT_EQ(Classify(Reply(0x05, 0x43)), EReplyKind::Group05Cmd43);
}

TEST(ProtocolReplyTable, UnlistedGroupsAndCommandsSelectNothing) {
  EXPECT_EQ(Classify(Reply(0x00, 0x43)), EReplyKind::None);
  EXPECT_EQ(Classify(Reply(0x01, 0x40)), EReplyKind::None);
  EXPECT_EQ(Classify(Reply(0x02, 0x40)), EReplyKind::None);
  EXPECT_EQ(Classify(Reply(0x05, 0x42)), EReplyKind::None);
  EXPECT_EQ(Classify(Reply(0x00, 0x02)), EReplyKind::None);  // a request, not a reply
  EXPECT_EQ(Classify(Reply(0x06, 0x41)), EReplyKind::None);
}

TEST(ProtocolReplyTable, HeaderIgnoresByte4AndTheLowNibbleOfByte2) {
  EXPECT_EQ(Classify({0xF0, 0x43, 0x5F, 0x03, 0x7F, 0x00, 0x40, 0x01, 0xF7}), EReplyKind::ModeOn);
  EXPECT_EQ(Classify({0xF0, 0x43, 0x40, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}), EReplyKind::None);
  EXPECT_EQ(Classify({0xF0, 0x44, 0x50, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}), EReplyKind::None);
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x02, 0x00, 0x00, 0x40, 0x01, 0xF7}), EReplyKind::None);
  EXPECT_EQ(Classify({0xF1, 0x43, 0x50, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}), EReplyKind::None);
}

TEST(ProtocolReplyTable, MessagesTooShortToCarryGroupAndCommandAreIgnored) {
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x03, 0xF7}), EReplyKind::None);
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0xF7}), EReplyKind::None);
  EXPECT_EQ(Classify({}), EReplyKind::None);
  EXPECT_FALSE(IsReplyHeader(nullptr, 0));
  // The shortest reply: no status, no data.
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0xF7}), EReplyKind::AreaCheck);
}

TEST(ProtocolReplyTable, StatusByte) {
  const V msg = Reply(0x03, 0x40, 0x02);
  EXPECT_EQ(ReplyStatus(msg.data(), msg.size()), 0x02);
  const V bare{0xF0, 0x43, 0x50, 0x03, 0x00, 0x04, 0x42, 0xF7};
  EXPECT_EQ(ReplyStatus(bare.data(), bare.size()), 0xF7);  // no status: not accepted
  EXPECT_EQ(ReplyStatus(bare.data(), 7), 0xF7);
}

TEST(ProtocolReplySteps, EachKindIsAnnouncedByItsOwnStep) {
  const std::pair<EReplyKind, fw::UINT> aRows[] = {
      {EReplyKind::ModeOn, ID_REPLY_MODE_ON},
      {EReplyKind::ModeOff, ID_REPLY_MODE_OFF},
      {EReplyKind::Inquiry, ID_REPLY_INQUIRY},
      {EReplyKind::SetDevice, ID_REPLY_SET_DEVICE},
      {EReplyKind::BlockStart, ID_REPLY_BLOCK_START},
      {EReplyKind::DataPacket, ID_REPLY_DATA_PACKET},
      {EReplyKind::AreaCheck, ID_REPLY_AREA_CHECK},
      {EReplyKind::WriteBlock, ID_REPLY_WRITE_BLOCK},
      {EReplyKind::BlockChecksum, ID_REPLY_BLOCK_CHECKSUM},
      {EReplyKind::BaudUp, ID_REPLY_BAUD_UP},
      {EReplyKind::BaudReset, ID_REPLY_BAUD_RESET},
      {EReplyKind::Group05Cmd43, ID_MARK_REPLY_05C},
      {EReplyKind::None, 0u},
  };
  for (const auto& [nKind, nStep] : aRows) {
    EXPECT_EQ(ReplyStepFor(nKind), nStep) << static_cast<int>(nKind);
  }
}

TEST(ProtocolReplySteps, OnlyTheMarkerOfGroup05Command43HasNoHandler) {
  EXPECT_FALSE(ReplyStepHasHandler(ID_MARK_REPLY_05C));
  EXPECT_FALSE(ReplyStepHasHandler(0));
  for (fw::UINT nStep : {ID_REPLY_MODE_ON, ID_REPLY_MODE_OFF, ID_REPLY_INQUIRY, ID_REPLY_SET_DEVICE,
                         ID_REPLY_BLOCK_START, ID_REPLY_DATA_PACKET, ID_REPLY_AREA_CHECK, ID_REPLY_WRITE_BLOCK,
                         ID_REPLY_BLOCK_CHECKSUM, ID_REPLY_BAUD_UP, ID_REPLY_BAUD_RESET}) {
    EXPECT_TRUE(ReplyStepHasHandler(nStep)) << nStep;
  }
}

}  // namespace
}  // namespace velda
