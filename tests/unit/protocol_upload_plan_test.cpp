// The upload arithmetic: blocks of a statement, packets of a block.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "protocol/upload_plan.h"

namespace velda {
namespace {

constexpr fw::UINT kPacket = 2450;

struct CBlock {
  fw::UINT nAddress;
  fw::UINT nLength;
  bool operator==(const CBlock&) const = default;
};

// Walks the plan as the upload does: start a block, count it, read back what was started.
std::vector<CBlock> Blocks(CBlockPlan plan) {
  std::vector<CBlock> aBlocks;
  for (;;) {
    fw::UINT nAddress = 0;
    fw::UINT nLength = 0;
    if (!PlanBlockAt(plan, plan.nCurBlock, nAddress, nLength) || nLength == 0) break;
    ++plan.nCurBlock;
    EXPECT_EQ(StartedBlockLength(plan), nLength);
    EXPECT_EQ(StartedBlockAddress(plan), nAddress);
    aBlocks.push_back({nAddress, nLength});
    if (aBlocks.size() > 100000) break;
  }
  return aBlocks;
}

// The packets of a block as (offset, planned length).
std::vector<std::pair<fw::UINT, fw::UINT>> Packets(fw::UINT nBlockLength) {
  const CPacketSplit split = SplitBlock(nBlockLength, kPacket);
  std::vector<std::pair<fw::UINT, fw::UINT>> aPackets;
  fw::UINT nOffset = 0;
  for (fw::UINT nSent = 0;; ++nSent) {
    const fw::UINT n = PacketLengthAt(split, nSent, kPacket);
    if (n == 0) break;
    aPackets.emplace_back(nOffset, n);
    nOffset += n;
  }
  return aPackets;
}

using P = std::vector<std::pair<fw::UINT, fw::UINT>>;

TEST(ProtocolUploadPlan, UpdateDeviceOfTenThousandBytesInBlocksOf1000Hex) {
  const fw::UINT A = 0x00200000;
  const CUploadPlan up = PlanUpdateDevice(A, 0x1000, 10000, 0);
  ASSERT_FALSE(up.bScriptError);
  EXPECT_EQ(up.nUploadBytes, 10000u);  // the Data bar runs 0 .. 10001
  const std::vector<CBlock> want{{A, 4096}, {A + 0x1000, 4096}, {A + 0x2000, 1808}};
  EXPECT_EQ(Blocks(up.plan), want);
  EXPECT_EQ(Packets(4096), (P{{0, 2450}, {2450, 1646}}));
  EXPECT_EQ(Packets(1808), (P{{0, 1808}}));
}

TEST(ProtocolUploadPlan, PacketSplits) {
  EXPECT_EQ(Packets(4900), (P{{0, 2450}, {2450, 2450}}));  // no third, empty packet
  EXPECT_EQ(Packets(2450), (P{{0, 2450}}));
  EXPECT_EQ(Packets(2451), (P{{0, 2450}, {2450, 1}}));
  EXPECT_EQ(Packets(1), (P{{0, 1}}));
  EXPECT_TRUE(Packets(0).empty());
}

TEST(ProtocolUploadPlan, UpdateDeviceFromAnOffsetSendsTheRestOfTheEntry) {
  const CUploadPlan up = PlanUpdateDevice(0x100, 0x10, 0x35, 0x05);
  ASSERT_FALSE(up.bScriptError);
  EXPECT_EQ(up.nUploadBytes, 0x30u);
  const std::vector<CBlock> want{{0x100, 0x10}, {0x110, 0x10}, {0x120, 0x10}};
  EXPECT_EQ(Blocks(up.plan), want);  // a remainder of 0 makes no last block
}

TEST(ProtocolUploadPlan, UpdateDeviceLimitsTheBlockSizeToTheBytesToSend) {
  const CUploadPlan up = PlanUpdateDevice(0x40, 0x10000, 300, 0);
  EXPECT_EQ(Blocks(up.plan), (std::vector<CBlock>{{0x40, 300}}));
}

TEST(ProtocolUploadPlan, UpdateDeviceWithNothingLeftIsAnEmptyUpload) {
  for (fw::UINT nBlockSize : {0u, 0x1000u}) {
    const CUploadPlan up = PlanUpdateDevice(0x40, nBlockSize, 300, 300);
    EXPECT_FALSE(up.bScriptError);
    EXPECT_EQ(up.nUploadBytes, 0u);
    EXPECT_TRUE(Blocks(up.plan).empty());
  }
}

TEST(ProtocolUploadPlan, UpdateDeviceScriptErrors) {
  EXPECT_TRUE(PlanUpdateDevice(0, 0, 300, 0).bScriptError);       // block size 0, bytes to send
  EXPECT_TRUE(PlanUpdateDevice(0, 0x10, 300, 301).bScriptError);  // offset beyond the entry
}

TEST(ProtocolUploadPlan, UpdateBlockIsOneBlockAtTheAddress) {
  const CUploadPlan up = PlanUpdateBlock(0x8000, 0x20, 0x100, 0);
  ASSERT_FALSE(up.bScriptError);
  EXPECT_EQ(up.nUploadBytes, 0x20u);
  EXPECT_EQ(Blocks(up.plan), (std::vector<CBlock>{{0x8000, 0x20}}));
}

TEST(ProtocolUploadPlan, UpdateBlockLongerThanTheEntryUploadsTheWholeEntry) {
  const CUploadPlan up = PlanUpdateBlock(0x8000, 0x10000, 0x100, 0);
  EXPECT_EQ(Blocks(up.plan), (std::vector<CBlock>{{0x8000, 0x100}}));
}

TEST(ProtocolUploadPlan, UpdateBlockIsLimitedToWhatRemainsAfterTheOffset) {
  // The block start must not announce bytes the entry cannot deliver.
  const CUploadPlan up = PlanUpdateBlock(0x8000, 0x100, 0x100, 0x30);
  EXPECT_EQ(up.nUploadBytes, 0xD0u);
  EXPECT_EQ(Blocks(up.plan), (std::vector<CBlock>{{0x8000, 0xD0}}));
}

TEST(ProtocolUploadPlan, UpdateBlockWithNothingToSendIsAnEmptyUpload) {
  EXPECT_TRUE(Blocks(PlanUpdateBlock(0x8000, 0, 0x100, 0).plan).empty());
  const CUploadPlan atEnd = PlanUpdateBlock(0x8000, 0x10, 0x100, 0x100);
  EXPECT_FALSE(atEnd.bScriptError);
  EXPECT_TRUE(Blocks(atEnd.plan).empty());
  EXPECT_TRUE(PlanUpdateBlock(0x8000, 0x10, 0x100, 0x101).bScriptError);
}

TEST(ProtocolUploadPlan, UpdateArea) {
  const CUploadPlan up = PlanUpdateArea(0x1000, 0x100, 0x250, 0x400, 0x10);
  ASSERT_FALSE(up.bScriptError);
  EXPECT_EQ(up.nUploadBytes, 0x250u);
  const std::vector<CBlock> want{{0x1000, 0x100}, {0x1100, 0x100}, {0x1200, 0x50}};
  EXPECT_EQ(Blocks(up.plan), want);
  // The block size is limited to the length.
  EXPECT_EQ(Blocks(PlanUpdateArea(0x1000, 0x1000, 0x20, 0x400, 0).plan), (std::vector<CBlock>{{0x1000, 0x20}}));
}

TEST(ProtocolUploadPlan, UpdateAreaEdges) {
  EXPECT_TRUE(PlanUpdateArea(0, 0x10, 0x20, 0x2F, 0x10).bScriptError);        // one byte beyond
  EXPECT_FALSE(PlanUpdateArea(0, 0x10, 0x20, 0x30, 0x10).bScriptError);       // exactly to the end
  EXPECT_TRUE(PlanUpdateArea(0, 0x10, 0xFFFFFFFF, 0x30, 0x10).bScriptError);  // no wrap-around
  EXPECT_TRUE(PlanUpdateArea(0, 0, 0x20, 0x30, 0).bScriptError);              // block size 0 with bytes
  const CUploadPlan empty = PlanUpdateArea(0, 0, 0, 0x30, 0x30);              // length 0
  EXPECT_FALSE(empty.bScriptError);
  EXPECT_TRUE(Blocks(empty.plan).empty());
}

TEST(ProtocolUploadPlan, NoBlockBeyondThePlan) {
  CBlockPlan plan;
  plan.nBlockCount = 2;
  plan.nBlockSize = 8;
  plan.nLastSize = 3;
  fw::UINT nAddress = 0;
  fw::UINT nLength = 0;
  EXPECT_TRUE(PlanBlockAt(plan, 2, nAddress, nLength));
  EXPECT_EQ(nLength, 3u);
  EXPECT_EQ(nAddress, 16u);
  EXPECT_FALSE(PlanBlockAt(plan, 3, nAddress, nLength));
}

}  // namespace
}  // namespace velda
