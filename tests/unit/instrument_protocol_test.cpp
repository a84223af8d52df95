// The simulated instrument answering the installer's requests, checked byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "instrument/sim_instrument.h"
#include "support/instrument_fake_host.h"
#include "support/temp_folder.h"

namespace velda {
namespace {

using test::Bytes;
using test::Hex;
using test::kBaudReset;
using test::kBaudUp;
using test::kInquiry;
using test::kModeOff;
using test::kWriteBlock;
using test::ModeOn;
using test::Msg;
using test::Packet;

class InstrumentProtocol : public ::testing::Test, public test::CInstrumentRig {};

// --- inquiry and update mode ---

TEST_F(InstrumentProtocol, InquiryIsAnsweredAfterTheLatencyInAnyMode) {
  m_config.nLatencyMs = 7;
  m_config.strInquiryText = "XY";
  Send(kInquiry);
  EXPECT_TRUE(m_host.Deliveries().empty()) << "never answered from inside OnMessage";
  m_host.RunAll();
  ASSERT_EQ(m_host.Deliveries().size(), 1u);
  EXPECT_EQ(m_host.Deliveries()[0].nAtMs, 7u);
  EXPECT_EQ(Hex(m_host.Deliveries()[0].aBytes), "F0 43 50 03 00 00 42 58 59 F7");
  m_host.TakeDeliveries();
  EnterUpdateMode();
  EXPECT_EQ(Ask(kInquiry), "F0 43 50 03 00 00 42 58 59 F7");
  EXPECT_EQ(Instrument().Stats().Received(EInstrumentRequest::Inquiry), 2u);
}

TEST_F(InstrumentProtocol, DefaultInquiryText) { EXPECT_EQ(Ask(kInquiry), "F0 43 50 03 00 00 42 56 45 4C 44 41 F7"); }

TEST_F(InstrumentProtocol, WrongKeywordIsRefusedAndChangesNothing) {
  EXPECT_EQ(Ask(ModeOn("#5168_1994KESTRX")), Reply("00 40", "00"));
  EXPECT_EQ(Ask(ModeOn("")), Reply("00 40", "00"));
  EXPECT_EQ(Ask(ModeOn("#5168_1994KESTRA ")), Reply("00 40", "00"));
  EXPECT_FALSE(Instrument().InUpdateMode());
  EXPECT_TRUE(m_host.Presence().empty()) << "no restart";
  EXPECT_EQ(Instrument().Stats().nWrongKeywords, 3u);
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 00 F7")), Reply("01 41", "00")) << "still not in update mode";
}

TEST_F(InstrumentProtocol, RightKeywordRestartsIntoUpdateModeWithoutAnswering) {
  m_config.nRestartMs = 3000;
  Send(ModeOn(test::kDefaultKeyword));
  ASSERT_EQ(m_host.Presence().size(), 1u);
  EXPECT_EQ(m_host.Presence()[0].nAtMs, 0u);
  EXPECT_FALSE(m_host.Presence()[0].bPresent);
  EXPECT_FALSE(Instrument().IsPresent());

  m_host.RunUntil(2999);
  EXPECT_EQ(m_host.Presence().size(), 1u);
  Send(kInquiry);  // the devices are gone: nothing arrives
  EXPECT_EQ(Instrument().Stats().nIgnoredAbsent, 1u);

  m_host.RunUntil(3000);
  ASSERT_EQ(m_host.Presence().size(), 2u);
  EXPECT_EQ(m_host.Presence()[1].nAtMs, 3000u);
  EXPECT_TRUE(m_host.Presence()[1].bPresent);
  EXPECT_TRUE(Instrument().InUpdateMode());
  m_host.RunAll();
  EXPECT_TRUE(m_host.Deliveries().empty());

  // The installer sends mode on again after reopening its ports: now it is answered.
  EXPECT_EQ(Ask(ModeOn(test::kDefaultKeyword)), Reply("00 40", "01"));
  EXPECT_EQ(m_host.Presence().size(), 2u) << "no second restart";
  EXPECT_EQ(Instrument().Stats().nRestarts, 1u);
}

TEST_F(InstrumentProtocol, WithoutRestartModeOnIsAnsweredAtOnce) {
  m_config.bRestartOnModeOn = false;
  m_config.strKeyword = "";
  EXPECT_EQ(Ask(ModeOn("")), Reply("00 40", "01")) << "the empty keyword of an 8-byte mode on";
  EXPECT_TRUE(Instrument().InUpdateMode());
  EXPECT_TRUE(m_host.Presence().empty());
}

TEST_F(InstrumentProtocol, ModeOffLeavesUpdateMode) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(kModeOff), Reply("00 41", "01"));
  EXPECT_FALSE(Instrument().InUpdateMode());
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 00 F7")), Reply("01 41", "00"));
  EXPECT_EQ(Ask(kModeOff), Reply("00 41", "01")) << "mode off is always accepted";
}

TEST_F(InstrumentProtocol, UpdateRequestsAreRefusedOutsideUpdateMode) {
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 02 F7")), Reply("01 41", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000000000010000", "F7")), Reply("01 42", "00"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7E F7")), Reply("03 40", "00"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "00000000000000010041", "F7")), Reply("04 42", "00"));
  // An area reply has no status byte: a refusal is the single body byte 00.
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000100000000", "F7")), "F0 43 50 03 00 03 41 00 F7");
  EXPECT_EQ(Instrument().Stats().nRefusedOutsideUpdateMode, 6u);
}

TEST_F(InstrumentProtocol, BaudRequestsAreAcceptedInAnyMode) {
  EXPECT_EQ(Ask(kBaudUp), Reply("05 40", "01"));
  EXPECT_TRUE(Instrument().FastBaud());
  EXPECT_EQ(Ask(kBaudReset), Reply("05 41", "01"));
  EXPECT_FALSE(Instrument().FastBaud());
  EnterUpdateMode();
  EXPECT_EQ(Ask(kBaudUp), Reply("05 40", "01"));
  EXPECT_EQ(Ask(kBaudReset), Reply("05 41", "01"));
}

TEST_F(InstrumentProtocol, FixedRequestsWithAPayloadAreMalformed) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 05 00 00 F7")), Reply("05 40", "00"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 04 01 00 F7")), Reply("04 41", "00"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 00 01 00 F7")), Reply("00 41", "00"));
  EXPECT_TRUE(Instrument().InUpdateMode()) << "a malformed mode off does not leave update mode";
  EXPECT_TRUE(Exchange(Bytes("F0 43 50 03 00 00 02 00 F7")).empty()) << "an inquiry has no status to refuse with";
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 F7")), Reply("01 41", "00")) << "set device without its byte";
  EXPECT_EQ(Instrument().Stats().nMalformed, 5u);
}

TEST_F(InstrumentProtocol, MessagesThatAreNoRequestAreIgnored) {
  EnterUpdateMode();
  EXPECT_TRUE(Exchange(Bytes("F0 41 50 03 00 00 02 F7")).empty());
  EXPECT_TRUE(Exchange(Bytes("F0 43 50 03 00 02 00 F7")).empty());
  EXPECT_TRUE(Exchange(Bytes("F0 43 50 03 00 01 01 82 F7")).empty()) << "device number of 80 or more";
  EXPECT_TRUE(Exchange(Bytes("90 40 7F")).empty());
  EXPECT_EQ(Instrument().Stats().nIgnored, 4u);
  EXPECT_EQ(Instrument().SelectedDevice(), 0);
}

// --- the block exchange ---

TEST_F(InstrumentProtocol, OneByteDataPacketOfTheWorkedExample) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000012000000001", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7E F7")), Reply("03 40", "01"));
  EXPECT_FALSE(Instrument().WasWritten(0, 0x120)) << "bytes reach memory at write block";
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Instrument().ReadByte(0, 0x120), 0x41);
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "00000120000000010041", "F7")), Reply("04 42", "01"));
}

TEST_F(InstrumentProtocol, WholeBlockExchangeByHand) {
  m_config.nPacketSize = 7;
  EnterUpdateMode();
  // Device 2, a block of 9 bytes at 1000: 80 01 FF 41 00 7F 10 | 20 FE.
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 02 F7")), Reply("01 41", "01"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 02 30 30 30 30 31 30 30 30 30 30 30 30 30 30 30 39 F7")),
            Reply("01 42", "01"));
  // "0007" "00000000", high bits 50, low bits 00 01 7F 41 00 7F 10; sum 3E7 -> checksum 19.
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 37 30 30 30 30 30 30 30 30 "
                      "50 00 01 7F 41 00 7F 10 19 F7")),
            Reply("03 40", "01"));
  // "0002" "00000007", high bits 20, low bits 20 7E; sum 307 -> checksum 79.
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 32 30 30 30 30 30 30 30 37 20 20 7E 79 F7")),
            Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Hex(Instrument().ReadRange(2, 0x1000, 9)), "80 01 FF 41 00 7F 10 20 FE");
  EXPECT_FALSE(Instrument().WasWritten(0, 0x1000)) << "device 0 untouched";
  // The bytes sum to 36E.
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "0000100000000009036E", "F7")), Reply("04 42", "01"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "0000100000000009036F", "F7")), Reply("04 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "000010000000000A036E", "F7")), Reply("04 42", "00"))
      << "one byte more than was written";
  // Read back 11 bytes from FFF: FF, the 9 bytes, FF; groups 68 | 18, data sum 2EC -> checksum 14.
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000B00000FFF", "F7")),
            "F0 43 50 03 00 03 41 68 7F 00 01 7F 41 00 7F 18 10 20 7E 7F 14 F7");
  const CInstrumentStats& stats = Instrument().Stats();
  EXPECT_EQ(stats.nPacketsStored, 2u);
  EXPECT_EQ(stats.nBytesStored, 9u);
  EXPECT_EQ(stats.nBlocksWritten, 1u);
  EXPECT_EQ(stats.nChecksumsMatched, 1u);
  EXPECT_EQ(stats.nChecksumsFailed, 1u);
  EXPECT_EQ(stats.nChecksumsMisnamed, 1u);
  EXPECT_EQ(stats.Received(EInstrumentRequest::DataPacket), 2u);
  EXPECT_EQ(stats.Received(EInstrumentRequest::BlockChecksum), 3u);
}

TEST_F(InstrumentProtocol, BadPacketChecksumAsksForTheSamePacketAgain) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000000000000001", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7F F7")), Reply("03 40", "02"));
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 40 7E F7")), Reply("03 40", "02"))
      << "a damaged data byte";
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7E F7")), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Instrument().ReadByte(0, 0), 0x41);
  EXPECT_EQ(Instrument().Stats().nBadPacketChecksums, 2u);
  EXPECT_EQ(Instrument().Stats().nPacketsResent, 2u);
  EXPECT_EQ(Instrument().Stats().nPacketsStored, 1u);
}

TEST_F(InstrumentProtocol, PacketsMustFollowEachOtherWithinTheBlock) {
  m_config.nPacketSize = 2;
  EnterUpdateMode();
  EXPECT_EQ(Ask(Packet(1, 0, {0x41})), Reply("03 40", "00")) << "no block started";
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "00")) << "no block to write";
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000200000000004", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(2, 2, {1, 2})), Reply("03 40", "00")) << "a gap";
  EXPECT_EQ(Ask(Packet(2, 0, {1, 2})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(Packet(2, 0, {1, 2})), Reply("03 40", "00")) << "the same offset twice";
  EXPECT_EQ(Ask(Packet(3, 2, {3, 4})), Reply("03 40", "00")) << "planned beyond the block";
  EXPECT_EQ(Ask(Packet(2, 2, {3, 4})), Reply("03 40", "01"));
  EXPECT_EQ(Instrument().Stats().nOutOfSequence, 5u);
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Hex(Instrument().ReadRange(0, 0x2000, 4)), "01 02 03 04");
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "00")) << "the block is written once";
}

TEST_F(InstrumentProtocol, DataThatEndedEarlyLeavesTheBlockIncomplete) {
  m_config.nPacketSize = 2;
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000300000000004", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(2, 0, {0x11})), Reply("03 40", "01")) << "fewer bytes than planned";
  EXPECT_EQ(Ask(Packet(2, 2, {0x33, 0x44})), Reply("03 40", "01")) << "the offset moved on by the plan";
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_EQ(Hex(Instrument().ReadRange(0, 0x3000, 4)), "11 FF 33 44");
  // The sum of the bytes actually sent (88) does not make the block whole.
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "00003000000000040088", "F7")), Reply("04 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "00003000000000040187", "F7")), Reply("04 42", "00"))
      << "not even with the erased byte counted";
}

TEST_F(InstrumentProtocol, MalformedBlockStartsAreRefused) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "000000000001000a", "F7")), Reply("01 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "00000000000100000", "F7")), Reply("01 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "000000000001000", "F7")), Reply("01 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "FFFFFFFF00000002", "F7")), Reply("01 42", "00"));
  EXPECT_FALSE(Instrument().HasOpenBlock());
  EXPECT_EQ(Instrument().Stats().nMalformed, 4u);
}

TEST_F(InstrumentProtocol, ANewBlockStartDropsTheUnwrittenBlock) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000400000000001", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(1, 0, {0x55})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000500000000001", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(1, 0, {0x66})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  EXPECT_FALSE(Instrument().WasWritten(0, 0x4000));
  EXPECT_EQ(Instrument().ReadByte(0, 0x5000), 0x66);
  EXPECT_EQ(Instrument().Stats().nBlocksAbandoned, 1u);
}

TEST_F(InstrumentProtocol, SetDeviceSelectsTheBankForWritesChecksAndReads) {
  EnterUpdateMode();
  const auto WriteOne = [this](std::uint8_t b) {
    EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000001000000001", "F7")), Reply("01 42", "01"));
    EXPECT_EQ(Ask(Packet(1, 0, {b})), Reply("03 40", "01"));
    EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  };
  WriteOne(0xA0);
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 05 F7")), Reply("01 41", "01"));
  EXPECT_EQ(Instrument().SelectedDevice(), 5);
  WriteOne(0xA5);
  EXPECT_EQ(Instrument().ReadByte(0, 0x10), 0xA0);
  EXPECT_EQ(Instrument().ReadByte(5, 0x10), 0xA5);
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "000000100000000100A5", "F7")), Reply("04 42", "01"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000100000010", "F7")), "F0 43 50 03 00 03 41 40 25 5B F7");
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 00 F7")), Reply("01 41", "01"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "000000100000000100A5", "F7")), Reply("04 42", "00"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000100000010", "F7")), "F0 43 50 03 00 03 41 40 20 60 F7");
}

TEST_F(InstrumentProtocol, AreaChecksOfNothingAndOfErasedMemory) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000000001000", "F7")), "F0 43 50 03 00 03 41 F7");
  // Two erased bytes: high bits 60, data 7F 7F sum FE -> checksum 02.
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "0002FFFFFFFE", "F7")), "F0 43 50 03 00 03 41 60 7F 7F 02 F7");
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "0002FFFFFFFF", "F7")), "F0 43 50 03 00 03 41 00 F7")
      << "an area beyond FFFFFFFF is malformed";
  // Erased memory is no written memory, whatever its sum.
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 04 02", "000050000000000100FF", "F7")), Reply("04 42", "00"));
}

TEST_F(InstrumentProtocol, ARestartForgetsTheVolatileState) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Bytes("F0 43 50 03 00 01 01 03 F7")), Reply("01 41", "01"));
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000000000000001", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(kBaudUp), Reply("05 40", "01"));
  EXPECT_EQ(Ask(kModeOff), Reply("00 41", "01"));
  EXPECT_FALSE(Instrument().HasOpenBlock()) << "leaving update mode drops the block";
  EnterUpdateMode();
  EXPECT_EQ(Instrument().Stats().nRestarts, 2u);
  EXPECT_EQ(Instrument().SelectedDevice(), 0);
  EXPECT_FALSE(Instrument().FastBaud());
}

// --- memory presets, dumps and lifetime ---

TEST_F(InstrumentProtocol, PresetMemoryIsWhatAreaChecksRead) {
  auto pPreset = std::make_shared<CInstrumentMemory>();
  pPreset->Device(0).WriteByte(0x40, 0x80);
  m_config.pPresetMemory = pPreset;
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 03 01", "000100000040", "F7")), "F0 43 50 03 00 03 41 40 00 00 F7");
  pPreset->Device(0).WriteByte(0x40, 0x00);
  EXPECT_EQ(Instrument().ReadByte(0, 0x40), 0x80) << "the instrument holds its own copy";
}

TEST_F(InstrumentProtocol, DumpHoldsWhatTheExchangeWrote) {
  EnterUpdateMode();
  EXPECT_EQ(Ask(Msg("F0 43 50 03 00 01 02", "0000003000000003", "F7")), Reply("01 42", "01"));
  EXPECT_EQ(Ask(Packet(3, 0, {0x02, 0x33, 0x7A})), Reply("03 40", "01"));
  EXPECT_EQ(Ask(kWriteBlock), Reply("04 41", "01"));
  const test::CTempFolder temp("velda-instrument-dump");
  const std::filesystem::path dir = temp / "dump";
  std::string strError;
  ASSERT_TRUE(Instrument().DumpHexFolder(dir.string(), strError)) << strError;
  std::ifstream file(dir / "device-0.hex", std::ios::binary);
  const std::string strText{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_EQ(strText, ":0300300002337A1E\r\n:00000001FF\r\n");

  Destroy();
  m_config.pPresetMemory.reset();
  ASSERT_TRUE(Instrument().LoadHexFolder(dir.string(), strError)) << strError;
  EXPECT_EQ(Instrument().ReadByte(0, 0x32), 0x7A);
  std::filesystem::remove_all(dir);
  EXPECT_FALSE(Instrument().LoadHexFolder(dir.string(), strError));
  EXPECT_FALSE(strError.empty());
}

TEST_F(InstrumentProtocol, NothingIsDeliveredAfterTheInstrumentIsGone) {
  m_config.nRestartMs = 10;
  Send(kInquiry);
  Send(ModeOn(test::kDefaultKeyword));
  Destroy();
  m_host.RunAll();
  EXPECT_TRUE(m_host.Deliveries().empty());
  EXPECT_EQ(m_host.Presence().size(), 1u) << "no comeback of a destroyed instrument";
}

}  // namespace
}  // namespace velda
