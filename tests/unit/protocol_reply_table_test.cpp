// Recognising replies: the header check and the group/command table.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/reply_table.h"
#include "shell/steps.h"

namespace velda {
namespace {

using V = std::vector<fw::BYTE>;

fw::UINT Classify(const V& msg) { return ClassifyReply(msg.data(), msg.size()); }

V Reply(fw::BYTE nGroup, fw::BYTE nCommand, fw::BYTE nStatus = 0x01) {
  return V{0xF0, 0x43, 0x50, 0x03, 0x00, nGroup, nCommand, nStatus, 0xF7};
}

TEST(ProtocolReplyTable, EveryReplyOfTheTable) {
  EXPECT_EQ(Classify(Reply(0x00, 0x40)), ID_REPLY_MODE_ON);
  EXPECT_EQ(Classify(Reply(0x00, 0x41)), ID_REPLY_MODE_OFF);
  EXPECT_EQ(Classify(Reply(0x00, 0x42)), ID_REPLY_INQUIRY);
  EXPECT_EQ(Classify(Reply(0x01, 0x41)), ID_REPLY_SET_DEVICE);
  EXPECT_EQ(Classify(Reply(0x01, 0x42)), ID_REPLY_BLOCK_START);
  EXPECT_EQ(Classify(Reply(0x03, 0x40)), ID_REPLY_DATA_PACKET);
  EXPECT_EQ(Classify(Reply(0x03, 0x41)), ID_REPLY_AREA_CHECK);
  EXPECT_EQ(Classify(Reply(0x04, 0x41)), ID_REPLY_WRITE_BLOCK);
  EXPECT_EQ(Classify(Reply(0x04, 0x42)), ID_REPLY_BLOCK_CHECKSUM);
  EXPECT_EQ(Classify(Reply(0x05, 0x40)), ID_REPLY_BAUD_UP);
  EXPECT_EQ(Classify(Reply(0x05, 0x41)), ID_REPLY_BAUD_RESET);
  EXPECT_EQ(Classify(Reply(0x05, 0x43)), ID_MARK_REPLY_05C);
}

TEST(ProtocolReplyTable, UnlistedGroupsAndCommandsSelectNothing) {
  EXPECT_EQ(Classify(Reply(0x00, 0x43)), 0u);
  EXPECT_EQ(Classify(Reply(0x01, 0x40)), 0u);
  EXPECT_EQ(Classify(Reply(0x02, 0x40)), 0u);
  EXPECT_EQ(Classify(Reply(0x05, 0x42)), 0u);
  EXPECT_EQ(Classify(Reply(0x00, 0x02)), 0u);  // a request, not a reply
  EXPECT_EQ(Classify(Reply(0x06, 0x41)), 0u);
}

TEST(ProtocolReplyTable, HeaderIgnoresByte4AndTheLowNibbleOfByte2) {
  EXPECT_EQ(Classify({0xF0, 0x43, 0x5F, 0x03, 0x7F, 0x00, 0x40, 0x01, 0xF7}), ID_REPLY_MODE_ON);
  EXPECT_EQ(Classify({0xF0, 0x43, 0x40, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}), 0u);
  EXPECT_EQ(Classify({0xF0, 0x44, 0x50, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}), 0u);
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x02, 0x00, 0x00, 0x40, 0x01, 0xF7}), 0u);
  EXPECT_EQ(Classify({0xF1, 0x43, 0x50, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}), 0u);
}

TEST(ProtocolReplyTable, MessagesTooShortToCarryGroupAndCommandAreIgnored) {
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x03, 0xF7}), 0u);
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0xF7}), 0u);
  EXPECT_EQ(Classify({}), 0u);
  EXPECT_FALSE(IsReplyHeader(nullptr, 0));
  // The shortest reply: no status, no data.
  EXPECT_EQ(Classify({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0xF7}), ID_REPLY_AREA_CHECK);
}

TEST(ProtocolReplyTable, StatusByte) {
  const V msg = Reply(0x03, 0x40, 0x02);
  EXPECT_EQ(ReplyStatus(msg.data(), msg.size()), 0x02);
  const V bare{0xF0, 0x43, 0x50, 0x03, 0x00, 0x04, 0x42, 0xF7};
  EXPECT_EQ(ReplyStatus(bare.data(), bare.size()), 0xF7);  // no status: not accepted
  EXPECT_EQ(ReplyStatus(bare.data(), 7), 0xF7);
}

TEST(ProtocolReplyTable, OnlyTheMarkerOfGroup05Command43HasNoHandler) {
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
