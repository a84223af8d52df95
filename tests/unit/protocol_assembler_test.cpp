// Assembling received bytes into messages across drains.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/reply_assembler.h"
#include "shell/installer_dlg.h"

namespace velda {
namespace {

using V = std::vector<fw::BYTE>;

// Feeds bytes; returns every message that came out complete, in order.
std::vector<V> Feed(CReplyAssembler& asmb, const V& aBytes) {
  std::vector<V> out;
  for (fw::BYTE b : aBytes) {
    if (asmb.Put(b)) out.push_back(asmb.Message());
  }
  return out;
}

const V kModeOn{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7};
const V kData{0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x40, 0x02, 0xF7};

TEST(ProtocolAssembler, AMessageSplitOverTwoDrainsComesOutOnce) {
  CReplyAssembler asmb(RX_BUF_SIZE);
  EXPECT_TRUE(Feed(asmb, V(kModeOn.begin(), kModeOn.begin() + 4)).empty());
  const auto out = Feed(asmb, V(kModeOn.begin() + 4, kModeOn.end()));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], kModeOn);
}

TEST(ProtocolAssembler, TwoMessagesInOneDrainComeOutEachOnceInOrder) {
  CReplyAssembler asmb(RX_BUF_SIZE);
  V both = kModeOn;
  both.insert(both.end(), kData.begin(), kData.end());
  const auto out = Feed(asmb, both);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], kModeOn);
  EXPECT_EQ(out[1], kData);
}

TEST(ProtocolAssembler, BytesBeforeF0AreIgnored) {
  CReplyAssembler asmb(RX_BUF_SIZE);
  V bytes{0x01, 0x7F, 0xF7, 0x43};
  bytes.insert(bytes.end(), kData.begin(), kData.end());
  const auto out = Feed(asmb, bytes);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], kData);
}

TEST(ProtocolAssembler, AMessageCutOffByANewF0IsDropped) {
  CReplyAssembler asmb(RX_BUF_SIZE);
  V bytes{0xF0, 0x43, 0x50};
  bytes.insert(bytes.end(), kData.begin(), kData.end());
  const auto out = Feed(asmb, bytes);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], kData);
  EXPECT_EQ(asmb.Discarded(), 1u);
}

TEST(ProtocolAssembler, TheLongestMessageFitsAndOneByteMoreIsDiscardedWhole) {
  CReplyAssembler asmb(RX_BUF_SIZE);
  V longest(RX_BUF_SIZE, 0x11);
  longest.front() = 0xF0;
  longest.back() = 0xF7;
  auto out = Feed(asmb, longest);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].size(), RX_BUF_SIZE);

  V tooLong(RX_BUF_SIZE + 1, 0x22);
  tooLong.front() = 0xF0;
  tooLong.back() = 0xF7;
  tooLong.insert(tooLong.end(), kModeOn.begin(), kModeOn.end());
  out = Feed(asmb, tooLong);
  ASSERT_EQ(out.size(), 1u);  // nothing of the long one, not even its tail
  EXPECT_EQ(out[0], kModeOn);
  EXPECT_EQ(asmb.Discarded(), 1u);
}

TEST(ProtocolAssembler, ResetForgetsAPartMessage) {
  CReplyAssembler asmb(RX_BUF_SIZE);
  Feed(asmb, {0xF0, 0x43, 0x50});
  asmb.Reset();
  EXPECT_TRUE(Feed(asmb, {0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}).empty());
}

}  // namespace
}  // namespace velda
