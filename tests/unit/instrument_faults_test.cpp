// Every fault of the instrument's fault plan, as the installer would see it.
#include <gtest/gtest.h>

#include "instrument/fault_plan.h"
#include "instrument/reply_encoder.h"
#include "instrument/sim_instrument.h"
#include "support/instrument_fake_host.h"

namespace velda {
namespace {

using test::Bytes;
using test::Hex;
using test::kBaudUp;
using test::kInquiry;
using test::kWriteBlock;
using test::ModeOn;
using test::Msg;
using test::Packet;

class InstrumentFaults : public ::testing::Test, public test::CInstrumentRig {
 protected:
  void AddFault(EInstrumentFault eFault, EInstrumentRequest eRequest, std::uint32_t nOccurrence,
                std::uint32_t nCount = 1) {
    m_config.faultPlan.aRules.push_back(CFaultRule{eFault, eRequest, nOccurrence, nCount});
  }
  std::vector<std::uint8_t> BlockStart(std::string_view strAddressLength) {
    return Msg("F0 43 50 03 00 01 02", strAddressLength, "F7");
  }
};

TEST(InstrumentFaultPlan, RulesCoverTheirOccurrencesOnly) {
  CFaultPlan plan;
  plan.aRules.push_back({EInstrumentFault::Refuse, EInstrumentRequest::BlockStart, 3, 2});
  plan.aRules.push_back({EInstrumentFault::NoReply, EInstrumentRequest::BlockStart, 4, 5});
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::BlockStart, 2), EInstrumentFault::None);
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::BlockStart, 3), EInstrumentFault::Refuse);
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::BlockStart, 4), EInstrumentFault::Refuse) << "the first rule wins";
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::BlockStart, 5), EInstrumentFault::NoReply);
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::BlockStart, 8), EInstrumentFault::NoReply);
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::BlockStart, 9), EInstrumentFault::None);
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::DataPacket, 3), EInstrumentFault::None);
  plan.aRules.push_back({EInstrumentFault::Refuse, EInstrumentRequest::Inquiry, 0xFFFFFFFF, 0xFFFFFFFF});
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::Inquiry, 0xFFFFFFFF), EInstrumentFault::Refuse) << "no overflow";
  EXPECT_EQ(plan.FaultFor(EInstrumentRequest::Inquiry, 1), EInstrumentFault::None);
}

TEST(InstrumentFaultPlan, FaultNamesGoBothWays) {
  for (const EInstrumentFault eFault :
       {EInstrumentFault::NoReply, EInstrumentFault::Refuse, EInstrumentFault::Status02, EInstrumentFault::CorruptReply,
        EInstrumentFault::SplitReply, EInstrumentFault::DoubleReply, EInstrumentFault::ForeignReply,
        EInstrumentFault::NeverReturn, EInstrumentFault::LateReply, EInstrumentFault::Vanish}) {
    EXPECT_EQ(sim::FaultFromName(sim::FaultName(eFault)), eFault) << sim::FaultName(eFault);
  }
  EXPECT_FALSE(sim::FaultFromName("none"));
  EXPECT_FALSE(sim::FaultFromName("Refuse"));
}

TEST_F(InstrumentFaults, NoReplyLosesTheRequest) {
  AddFault(EInstrumentFault::NoReply, EInstrumentRequest::Inquiry, 2, 2);
  AddFault(EInstrumentFault::NoReply, EInstrumentRequest::BlockStart, 2);
  EXPECT_EQ(Exchange(kInquiry).size(), 1u);
  EXPECT_TRUE(Exchange(kInquiry).empty());
  EXPECT_TRUE(Exchange(kInquiry).empty());
  EXPECT_EQ(Exchange(kInquiry).size(), 1u);

  EnterUpdateMode();
  EXPECT_EQ(Ask(BlockStart("0000000000000001")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(1, 0, {0x41})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_TRUE(Exchange(BlockStart("0000001000000001")).empty());
  EXPECT_FALSE(Instrument().HasOpenBlock()) << "the lost block start was not acted on";
  EXPECT_EQ(Ask(Packet(1, 0, {0x42})), Reply("03 40", "00"));
  EXPECT_EQ(Instrument().Stats().nFaultsApplied, 3u);
}

TEST_F(InstrumentFaults, RefuseAnswersStatus00WithoutActing) {
  AddFault(EInstrumentFault::Refuse, EInstrumentRequest::SetDevice, 1);
  AddFault(EInstrumentFault::Refuse, EInstrumentRequest::AreaCheck, 1);
  AddFault(EInstrumentFault::Refuse, EInstrumentRequest::Inquiry, 1);
  AddFault(EInstrumentFault::Refuse, EInstrumentRequest::BlockChecksum, 1);
  EXPECT_EQ(Ask(kInquiry), "F0 43 50 03 00 00 42 00 F7");
  EnterUpdateMode();
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 04 F7")), Reply("01 41", "00"));
  EXPECT_EQ(Instrument().SelectedDevice(), 0);
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 04 F7")), Reply("01 41", "01"));
  EXPECT_EQ(Instrument().SelectedDevice(), 4);
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000100000000", "F7")), "F0 43 50 03 00 03 41 00 F7");
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000100000000", "F7")), "F0 43 50 03 00 03 41 40 7F 01 F7");
  // A block that checks out is still refused when the plan says so.
  EXPECT_EQ(Ask(BlockStart("0000000000000001")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(1, 0, {0x41})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "00000000000000010041", "F7")), Reply("04 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "00000000000000010041", "F7")), Reply("04 42", "01"));
}

TEST_F(InstrumentFaults, Status02AsksForTheSamePacketAgain) {
  AddFault(EInstrumentFault::Status02, EInstrumentRequest::DataPacket, 2, 3);
  m_config.nPacketSize = 1;
  EnterUpdateMode();
  EXPECT_EQ(Ask(BlockStart("0000000000000002")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(1, 0, {0x11})), Reply("03 40", "01"));
  const auto aSecond = Packet(1, 1, {0x22});
  EXPECT_EQ(Ask(aSecond), Reply("03 40", "02"));
  EXPECT_EQ(Ask(aSecond), Reply("03 40", "02"));
  EXPECT_EQ(Ask(aSecond), Reply("03 40", "02"));
  EXPECT_EQ(Ask(aSecond), Reply("03 40", "01")) << "the fourth send of the same bytes is taken";
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Hex(Instrument().ReadRange(0, 0, 2)), "11 22");
  const CInstrumentStats& stats = Instrument().Stats();
  EXPECT_EQ(stats.nResendsAsked, 3u);
  EXPECT_EQ(stats.nPacketsResent, 3u);
  EXPECT_EQ(stats.nPacketsStored, 2u);
  EXPECT_EQ(stats.nBadPacketChecksums, 0u);
}

TEST_F(InstrumentFaults, CorruptReplyIsActedOnButSpoilsTheByteTheInstallerReads) {
  AddFault(EInstrumentFault::CorruptReply, EInstrumentRequest::WriteBlock, 1);
  AddFault(EInstrumentFault::CorruptReply, EInstrumentRequest::AreaCheck, 1);
  AddFault(EInstrumentFault::CorruptReply, EInstrumentRequest::Inquiry, 1);
  EXPECT_EQ(Ask(kInquiry), "F0 43 50 03 00 00 42 29 45 4C 44 41 F7");
  EnterUpdateMode();
  EXPECT_EQ(Ask(BlockStart("0000000000000003")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(3, 0, {0x80, 0x01, 0xFF})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "7E"));
  EXPECT_EQ(Hex(Instrument().ReadRange(0, 0, 3)), "80 01 FF") << "the write happened";

  const auto aAreaCheck = Msg("F0 43 50 03 00 03 01", "000300000000", "F7");
  const std::string strCorrupt = Ask(aAreaCheck);
  EXPECT_EQ(strCorrupt, "F0 43 50 03 00 03 41 50 7F 01 7F 00 F7");
  EXPECT_EQ(Ask(aAreaCheck), "F0 43 50 03 00 03 41 50 00 01 7F 00 F7") << "the second one is sound";
  // The installer's check: the data bytes as received plus the checksum must end in 7 zero bits.
  const auto aCorrupt = Bytes(strCorrupt);
  EXPECT_NE((aCorrupt[8] + aCorrupt[9] + aCorrupt[10] + aCorrupt[11]) & 0x7F, 0);
}

TEST_F(InstrumentFaults, SplitReplyComesInTwoDeliveries) {
  m_config.nLatencyMs = 2;
  m_config.faultPlan.nSplitGapMs = 9;
  AddFault(EInstrumentFault::SplitReply, EInstrumentRequest::BaudUp, 1);
  m_host.RunUntil(100);
  Send(kBaudUp);
  m_host.RunAll();
  const auto& aDeliveries = m_host.Deliveries();
  ASSERT_EQ(aDeliveries.size(), 2u);
  EXPECT_EQ(aDeliveries[0].nAtMs, 102u);
  EXPECT_EQ(aDeliveries[1].nAtMs, 111u);
  EXPECT_EQ(Hex(aDeliveries[0].aBytes), "F0 43 50 03");
  EXPECT_EQ(Hex(aDeliveries[1].aBytes), "00 05 40 01 F7");
  EXPECT_TRUE(Instrument().FastBaud()) << "acted on";
}

TEST_F(InstrumentFaults, DoubleReplyComesTwiceInOneDelivery) {
  AddFault(EInstrumentFault::DoubleReply, EInstrumentRequest::BlockStart, 1);
  EnterUpdateMode();
  EXPECT_EQ(Ask(BlockStart("0000000000000001")), "F0 43 50 03 00 01 42 01 F7 F0 43 50 03 00 01 42 01 F7");
  EXPECT_TRUE(Instrument().HasOpenBlock());
  EXPECT_EQ(Instrument().Stats().nDeliveries, 1u);
}

TEST_F(InstrumentFaults, ForeignReplyCarriesAnotherManufacturer) {
  AddFault(EInstrumentFault::ForeignReply, EInstrumentRequest::SetDevice, 1);
  EnterUpdateMode();
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 07 F7")), "F0 41 50 03 00 01 41 01 F7");
  EXPECT_EQ(Instrument().SelectedDevice(), 7) << "acted on";
}

TEST_F(InstrumentFaults, NeverReturnAfterTheRestartIntoUpdateMode) {
  m_config.nRestartMs = 3000;
  AddFault(EInstrumentFault::NeverReturn, EInstrumentRequest::ModeOn, 2);
  EXPECT_EQ(Ask(ModeOn("wrong")), Reply("00 40", "00")) << "occurrence 1: a refused mode on counts too";
  EXPECT_TRUE(Exchange(ModeOn(test::kDefaultKeyword)).empty());
  m_host.Advance(1000000);
  ASSERT_EQ(m_host.Presence().size(), 1u);
  EXPECT_FALSE(m_host.Presence()[0].bPresent);
  EXPECT_FALSE(Instrument().IsPresent());
  EXPECT_TRUE(Exchange(kInquiry).empty());
  EXPECT_EQ(Instrument().Stats().nIgnoredAbsent, 1u);
  EXPECT_EQ(Instrument().Stats().nRestarts, 0u);
}

TEST_F(InstrumentFaults, NeverReturnOnAnyRequest) {
  AddFault(EInstrumentFault::NeverReturn, EInstrumentRequest::BaudUp, 1);
  EXPECT_TRUE(Exchange(kBaudUp).empty());
  ASSERT_EQ(m_host.Presence().size(), 1u);
  EXPECT_FALSE(m_host.Presence()[0].bPresent);
  EXPECT_FALSE(Instrument().FastBaud());
}

TEST_F(InstrumentFaults, RepliesDueWhileTheDevicesAreGoneAreLost) {
  m_config.nLatencyMs = 50;
  m_config.bRestartOnModeOn = true;
  AddFault(EInstrumentFault::NeverReturn, EInstrumentRequest::BaudReset, 1);
  Send(kInquiry);
  Send(test::kBaudReset);
  m_host.RunAll();
  EXPECT_TRUE(m_host.Deliveries().empty());
  EXPECT_EQ(Instrument().Stats().nDroppedAbsent, 1u);
}

TEST_F(InstrumentFaults, UnsolicitedBytesArriveAtTheirTime) {
  m_config.faultPlan.aUnsolicited.push_back({1500, Bytes("F0 43 50 03 00 00 40 01 F7")});
  m_config.faultPlan.aUnsolicited.push_back({0, Bytes("F0 43 50 03 00 00 42 F7")});
  Instrument();
  m_host.RunAll();
  const auto& aDeliveries = m_host.Deliveries();
  ASSERT_EQ(aDeliveries.size(), 2u);
  EXPECT_EQ(aDeliveries[0].nAtMs, 0u);
  EXPECT_EQ(Hex(aDeliveries[0].aBytes), "F0 43 50 03 00 00 42 F7");
  EXPECT_EQ(aDeliveries[1].nAtMs, 1500u);
  EXPECT_EQ(Hex(aDeliveries[1].aBytes), "F0 43 50 03 00 00 40 01 F7");
  EXPECT_EQ(Instrument().Stats().aReceived, (std::array<std::uint32_t, kInstrumentRequestKinds>{}));
}

TEST_F(InstrumentFaults, UnsolicitedBytesAreLostWhileTheDevicesAreGone) {
  m_config.nRestartMs = 3000;
  m_config.faultPlan.aUnsolicited.push_back({1000, Bytes("F0 43 50 03 00 00 40 01 F7")});
  EXPECT_TRUE(Exchange(ModeOn(test::kDefaultKeyword)).empty());
  EXPECT_EQ(Instrument().Stats().nDroppedAbsent, 1u);
}

}  // namespace
}  // namespace velda
