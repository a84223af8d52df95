// The instrument holds the sender to the block exchange: packets that cover the block exactly in
// packets of the protocol's size, a block checksum that names the block just written and is
// judged from the bytes received for it. Each breach is refused and counted; the late and vanish
// faults stay visible.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "instrument/sim_instrument.h"
#include "support/instrument_fake_host.h"

namespace velda {
namespace {

using test::kWriteBlock;
using test::Msg;
using test::Packet;
using V = std::vector<std::uint8_t>;

V BlockStart(std::string_view strAddressLength) { return Msg("F0 43 50 03 00 01 02", strAddressLength, "F7"); }
V BlockChecksum(std::string_view strFields) { return Msg("F0 43 50 03 00 04 02", strFields, "F7"); }

// Block of 5 bytes at 100 with packets of 2: 2 + 2 + 1 bytes, sum 1+2+3+4+5 = F.
const V kA = Packet(2, 0, {1, 2});
const V kB = Packet(2, 2, {3, 4});
const V kC = Packet(1, 4, {5});

struct CBreach {
  const char* pszName;
  std::vector<V> aExchange;  // after the block start, every message but the last is accepted
  std::string strLastReply;  // group, command and status of the last reply
  std::uint32_t CInstrumentStats::*pCounter;
};

const CBreach kBreaches[] = {
    {"WriteBeforeTheLastPacket", {kA, kB, kWriteBlock}, "04 41 00", &CInstrumentStats::nIncompleteWrites},
    {"WriteWithNoPacket", {kWriteBlock}, "04 41 00", &CInstrumentStats::nIncompleteWrites},
    {"ShortPacketInTheMiddle", {kA, Packet(1, 2, {3})}, "03 40 00", &CInstrumentStats::nBadPacketSizes},
    {"PacketAboveTheProtocolSize", {Packet(3, 0, {1, 2, 3})}, "03 40 00", &CInstrumentStats::nBadPacketSizes},
    {"EmptyPacket", {Packet(0, 0, {})}, "03 40 00", &CInstrumentStats::nBadPacketSizes},
    {"ChecksumOfAnotherAddress",
     {kA, kB, kC, kWriteBlock, BlockChecksum("0000010100000005000F")},
     "04 42 00",
     &CInstrumentStats::nChecksumsMisnamed},
    {"ChecksumOfAnotherLength",
     {kA, kB, kC, kWriteBlock, BlockChecksum("0000010000000004000A")},
     "04 42 00",
     &CInstrumentStats::nChecksumsMisnamed},
    {"ChecksumBeforeTheWrite",
     {kA, kB, kC, BlockChecksum("0000010000000005000F")},
     "04 42 00",
     &CInstrumentStats::nChecksumsMisnamed},
    {"ChecksumOfNothing",
     {kA, kB, kC, kWriteBlock, BlockChecksum("00000000000000000000")},
     "04 42 00",
     &CInstrumentStats::nEmptyChecksums},
    {"ChecksumWithAWrongSum",
     {kA, kB, kC, kWriteBlock, BlockChecksum("00000100000000050010")},
     "04 42 00",
     &CInstrumentStats::nChecksumsFailed},
    {"BlockOfNoBytes", {BlockStart("0000020000000000")}, "01 42 00", &CInstrumentStats::nMalformed},
};

class InstrumentStrict : public ::testing::TestWithParam<CBreach>, public test::CInstrumentRig {};

TEST_P(InstrumentStrict, BreachIsRefusedAndCounted) {
  const CBreach& breach = GetParam();
  m_config.nPacketSize = 2;
  EnterUpdateMode();
  ASSERT_EQ(Ask(BlockStart("0000010000000005")), Reply("01 42", "01"));
  for (std::size_t i = 0; i + 1 < breach.aExchange.size(); ++i) {
    const std::string strReply = Ask(breach.aExchange[i]);
    ASSERT_EQ(strReply.substr(strReply.size() - 5), "01 F7") << "message " << i;
  }
  EXPECT_EQ(Ask(breach.aExchange.back()), "F0 43 50 03 00 " + breach.strLastReply + " F7");
  EXPECT_EQ(Instrument().Stats().*breach.pCounter, 1u);
  EXPECT_EQ(Instrument().Stats().nChecksumsMatched, 0u);
}

INSTANTIATE_TEST_SUITE_P(Breaches, InstrumentStrict, ::testing::ValuesIn(kBreaches),
                         [](const ::testing::TestParamInfo<CBreach>& param) {
                           return std::string(param.param.pszName);
                         });

class InstrumentStrictBlocks : public ::testing::Test, public test::CInstrumentRig {};

// Memory that already holds the right bytes (a second run, a preset) does not make up for a
// packet that never came: the checksum is judged from what this block received.
TEST_F(InstrumentStrictBlocks, ChecksumIsJudgedFromTheBytesOfThisBlock) {
  m_config.nPacketSize = 2;
  EnterUpdateMode();
  const auto WriteBlock = [this](const std::vector<V>& aPackets) {
    ASSERT_EQ(Ask(BlockStart("0000010000000005")), Reply("01 42", "01"));
    for (const V& a : aPackets) ASSERT_EQ(Ask(a), Reply("03 40", "01"));
    ASSERT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  };
  WriteBlock({kA, kB, kC});
  EXPECT_EQ(Ask(BlockChecksum("0000010000000005000F")), Reply("04 42", "01"));
  // The same block again, its middle packet sent with its data ended early: memory still holds
  // 3 4 from before, but this block did not receive them.
  WriteBlock({kA, Packet(2, 2, {}), kC});
  EXPECT_EQ(Ask(BlockChecksum("0000010000000005000F")), Reply("04 42", "00"));
  EXPECT_EQ(Ask(BlockChecksum("00000100000000050008")), Reply("04 42", "00")) << "nor with the sum sent";
  EXPECT_EQ(Instrument().Stats().nChecksumsFailed, 2u);
}

TEST_F(InstrumentStrictBlocks, FullSizePacketsAreTaken) {
  EnterUpdateMode();  // the protocol's 2450
  const V aData(2450 + 7, 0x5A);
  ASSERT_EQ(Ask(BlockStart("0000000000000999")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(2450, 0, V(aData.begin(), aData.begin() + 2450))), Reply("03 40", "01"));
  EXPECT_EQ(Ask(Packet(7, 2450, V(7, 0x5A))), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  // 2457 bytes of 5A sum to 3 5F CA: the low 16 bits travel.
  EXPECT_EQ(Ask(BlockChecksum("000000000000099955FC")), Reply("04 42", "00")) << "a digit short: malformed";
  EXPECT_EQ(Ask(BlockChecksum("00000000000009995FCA")), Reply("04 42", "01"));
}

TEST_F(InstrumentStrictBlocks, LateReplyComesAfterTheLongestWait) {
  m_config.faultPlan.nLateMs = 130'000;
  m_config.faultPlan.aRules.push_back({EInstrumentFault::LateReply, EInstrumentRequest::BaudUp, 1, 1});
  Send(test::kBaudUp);
  m_host.RunAll();
  ASSERT_EQ(m_host.Deliveries().size(), 1u);
  EXPECT_EQ(m_host.Deliveries()[0].nAtMs, 130'000u + m_config.nLatencyMs);
  EXPECT_TRUE(Instrument().FastBaud()) << "acted on";
}

TEST_F(InstrumentStrictBlocks, VanishDropsTheRequestAndComesBackInUpdateMode) {
  m_config.nPacketSize = 2;
  m_config.nRestartMs = 4000;
  m_config.faultPlan.aRules.push_back({EInstrumentFault::Vanish, EInstrumentRequest::DataPacket, 2, 1});
  EnterUpdateMode();
  ASSERT_EQ(Ask(BlockStart("0000010000000005")), Reply("01 42", "01"));
  ASSERT_EQ(Ask(kA), Reply("03 40", "01"));
  const std::uint64_t t0 = m_host.Now();
  EXPECT_TRUE(Exchange(kB).empty());
  ASSERT_GE(m_host.Presence().size(), 2u);
  EXPECT_FALSE(m_host.Presence()[m_host.Presence().size() - 2].bPresent);
  EXPECT_EQ(m_host.Presence().back().nAtMs, t0 + 4000);
  EXPECT_TRUE(Instrument().InUpdateMode());
  EXPECT_FALSE(Instrument().HasOpenBlock()) << "the block was in RAM";
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "00"));
}

}  // namespace
}  // namespace velda
