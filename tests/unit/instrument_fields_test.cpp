// The instrument's own field encodings, request recognition and reply bytes.
#include <gtest/gtest.h>

#include <numeric>

#include "instrument/reply_encoder.h"
#include "instrument/request_decoder.h"
#include "instrument/request_kind.h"
#include "instrument/sysex_fields.h"
#include "support/instrument_fake_host.h"

namespace velda::sim {
namespace {

using test::Bytes;
using test::Hex;
using test::Msg;

std::vector<std::uint8_t> Ascii(std::string_view str) { return {str.begin(), str.end()}; }

std::vector<std::uint8_t> Packed(const std::vector<std::uint8_t>& aData) {
  std::vector<std::uint8_t> a;
  AppendPacked(aData.data(), aData.size(), a);
  return a;
}

TEST(InstrumentHexDigits, ReadsUpperCaseDigitsMostSignificantFirst) {
  EXPECT_EQ(ReadHexDigits(Ascii("00000992").data(), 8), 2450u);
  EXPECT_EQ(ReadHexDigits(Ascii("FFFFFFFF").data(), 8), 0xFFFFFFFFu);
  EXPECT_EQ(ReadHexDigits(Ascii("2345").data(), 4), 0x2345u);
  EXPECT_EQ(ReadHexDigits(Ascii("0A").data(), 2), 10u);
}

TEST(InstrumentHexDigits, RejectsWhatNoCorrectSenderWrites) {
  EXPECT_FALSE(ReadHexDigits(Ascii("0000000a").data(), 8)) << "lower case";
  EXPECT_FALSE(ReadHexDigits(Ascii("000G").data(), 4));
  EXPECT_FALSE(ReadHexDigits(Ascii(" 123").data(), 4));
  EXPECT_FALSE(ReadHexDigits(Ascii("123456789").data(), 9)) << "more than 32 bits";
  EXPECT_FALSE(ReadHexDigits(Ascii("1").data(), 0));
}

TEST(InstrumentHexDigits, AppendsTheLowDigitsOnly) {
  std::vector<std::uint8_t> a;
  AppendHexDigits(2450, 8, a);
  EXPECT_EQ(a, Ascii("00000992"));
  a.clear();
  AppendHexDigits(0x12345, 4, a);
  EXPECT_EQ(a, Ascii("2345"));
  a.clear();
  AppendHexDigits(0xABCDEF01, 8, a);
  EXPECT_EQ(a, Ascii("ABCDEF01"));
}

TEST(InstrumentPacking, WorkedExample) {
  EXPECT_EQ(Hex(Packed(Bytes("80 01 FF"))), "50 00 01 7F");
  const auto aData = Unpack(Bytes("50 00 01 7F").data(), 4);
  ASSERT_TRUE(aData);
  EXPECT_EQ(Hex(*aData), "80 01 FF");
}

TEST(InstrumentPacking, GroupsOfSeven) {
  EXPECT_EQ(Hex(Packed(Bytes("FF 00 00 00 00 00 81"))), "41 7F 00 00 00 00 00 01");
  EXPECT_EQ(Hex(Packed(Bytes("00 00 00 00 00 00 00 80"))), "00 00 00 00 00 00 00 00 40 00");
  EXPECT_TRUE(Packed({}).empty());
  EXPECT_EQ(PackedSize(0), 0u);
  EXPECT_EQ(PackedSize(7), 8u);
  EXPECT_EQ(PackedSize(8), 10u);
  EXPECT_EQ(PackedSize(2450), 2800u);
}

TEST(InstrumentPacking, EveryByteValueSurvivesTheRoundTrip) {
  std::vector<std::uint8_t> aData(256 + 5);
  std::iota(aData.begin(), aData.end(), std::uint8_t{0});
  const std::vector<std::uint8_t> aPacked = Packed(aData);
  for (const std::uint8_t b : aPacked) ASSERT_LT(b, 0x80);
  const auto aBack = Unpack(aPacked.data(), aPacked.size());
  ASSERT_TRUE(aBack);
  EXPECT_EQ(*aBack, aData);
}

TEST(InstrumentPacking, UnpackRejectsBytesNoPackerProduces) {
  const auto Rejects = [](std::string_view strHex) {
    const std::vector<std::uint8_t> a = Bytes(strHex);
    return !Unpack(a.data(), a.size()).has_value();
  };
  EXPECT_TRUE(Rejects("00 01 02 03 04 05 06 07 00")) << "a group that is only its high-bit byte";
  EXPECT_TRUE(Rejects("00")) << "a lone high-bit byte";
  EXPECT_TRUE(Rejects("51 00 01 7F")) << "high bit for an absent fourth byte";
  EXPECT_TRUE(Rejects("40 80")) << "a data byte with bit 7";
  EXPECT_TRUE(Rejects("C0 00")) << "a high-bit byte with bit 7";
  EXPECT_FALSE(Rejects("")) << "no data is fine";
}

TEST(InstrumentChecksums, PacketExampleSumsToZero) {
  const auto aPacket = Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7E F7");
  EXPECT_TRUE(Sum7IsZero(aPacket.data() + 7, aPacket.size() - 8));
  EXPECT_EQ(Checksum7(aPacket.data() + 7, aPacket.size() - 9), 0x7E);
  EXPECT_EQ(Checksum7(nullptr, 0), 0x00);
  EXPECT_FALSE(Sum7IsZero(aPacket.data() + 7, aPacket.size() - 9));
}

TEST(InstrumentChecksums, Sum16KeepsTheLow16Bits) {
  std::vector<std::uint8_t> a(0x202, 0xFF);  // 0x202 * 0xFF = 0x1FFFE
  EXPECT_EQ(Sum16(a.data(), a.size()), 0xFFFE);
  EXPECT_EQ(Sum16(Bytes("80 01 FF").data(), 3), 0x0180);
}

TEST(InstrumentRequests, FixedRequestsAreRecognised) {
  const auto Kind = [](std::string_view strHex) {
    const auto a = Bytes(strHex);
    return ClassifyRequest(a.data(), a.size());
  };
  EXPECT_EQ(Kind("F0 43 50 03 00 00 02 F7"), EInstrumentRequest::Inquiry);
  EXPECT_EQ(Kind("F0 43 50 03 00 00 01 F7"), EInstrumentRequest::ModeOff);
  EXPECT_EQ(Kind("F0 43 50 03 00 04 01 F7"), EInstrumentRequest::WriteBlock);
  EXPECT_EQ(Kind("F0 43 50 03 00 05 00 F7"), EInstrumentRequest::BaudUp);
  EXPECT_EQ(Kind("F0 43 50 03 00 05 01 F7"), EInstrumentRequest::BaudReset);
  EXPECT_EQ(Kind("F0 43 50 03 00 00 00 F7"), EInstrumentRequest::ModeOn) << "empty keyword";
  EXPECT_EQ(Kind("F0 43 50 03 00 01 01 02 F7"), EInstrumentRequest::SetDevice);
}

TEST(InstrumentRequests, AnythingElseIsNoRequest) {
  const auto IsNone = [](std::string_view strHex) {
    const auto a = Bytes(strHex);
    return !ClassifyRequest(a.data(), a.size()).has_value();
  };
  EXPECT_TRUE(IsNone("F0 41 50 03 00 00 02 F7")) << "another manufacturer";
  EXPECT_TRUE(IsNone("F0 43 51 03 00 00 02 F7")) << "byte 2 must be 50 in a request";
  EXPECT_TRUE(IsNone("F0 43 50 03 01 00 02 F7")) << "byte 4";
  EXPECT_TRUE(IsNone("F0 43 50 03 00 02 00 F7")) << "unknown group";
  EXPECT_TRUE(IsNone("F0 43 50 03 00 05 43 F7")) << "a reply code";
  EXPECT_TRUE(IsNone("F0 43 50 03 00 00 02")) << "no F7";
  EXPECT_TRUE(IsNone("F0 43 50 03 00 01 01 82 F7")) << "a byte of 80 or more inside";
  EXPECT_TRUE(IsNone("F0 43 50 03 00 00 F7"));
  EXPECT_FALSE(ClassifyRequest(nullptr, 0).has_value());
}

TEST(InstrumentRequests, NamesGoBothWays) {
  for (std::size_t i = 0; i < kInstrumentRequestKinds; ++i) {
    const auto e = static_cast<EInstrumentRequest>(i);
    EXPECT_EQ(RequestFromName(RequestName(e)), e) << RequestName(e);
  }
  EXPECT_EQ(RequestName(EInstrumentRequest::BlockChecksum), "block-checksum");
  EXPECT_FALSE(RequestFromName("block_checksum"));
}

TEST(InstrumentDecoders, BlockStart) {
  const auto a = Msg("F0 43 50 03 00 01 02", "0000000000010000", "F7");
  const auto block = DecodeBlockStart(a.data(), a.size());
  ASSERT_TRUE(block);
  EXPECT_EQ(block->nAddress, 0u);
  EXPECT_EQ(block->nLength, 65536u);

  const auto aLower = Msg("F0 43 50 03 00 01 02", "000000000001000a", "F7");
  EXPECT_FALSE(DecodeBlockStart(aLower.data(), aLower.size()));
  const auto aShort = Msg("F0 43 50 03 00 01 02", "000000000001000", "F7");
  EXPECT_FALSE(DecodeBlockStart(aShort.data(), aShort.size()));
  const auto aWraps = Msg("F0 43 50 03 00 01 02", "FFFFFF0000000101", "F7");
  EXPECT_FALSE(DecodeBlockStart(aWraps.data(), aWraps.size())) << "block beyond FFFFFFFF";
  const auto aToTheTop = Msg("F0 43 50 03 00 01 02", "FFFFFF0000000100", "F7");
  EXPECT_TRUE(DecodeBlockStart(aToTheTop.data(), aToTheTop.size()));
}

TEST(InstrumentDecoders, BlockChecksumAndAreaCheck) {
  const auto a = Msg("F0 43 50 03 00 04 02", "00001000000000092345", "F7");
  const auto check = DecodeBlockChecksum(a.data(), a.size());
  ASSERT_TRUE(check);
  EXPECT_EQ(check->nAddress, 0x1000u);
  EXPECT_EQ(check->nLength, 9u);
  EXPECT_EQ(check->nSum, 0x2345);
  const auto aBad = Msg("F0 43 50 03 00 04 02", "0000100000000009234", "F7");
  EXPECT_FALSE(DecodeBlockChecksum(aBad.data(), aBad.size()));

  const auto aArea = Msg("F0 43 50 03 00 03 01",
                         "0010"
                         "00ABCDEF",
                         "F7");
  const auto area = DecodeAreaCheck(aArea.data(), aArea.size());
  ASSERT_TRUE(area);
  EXPECT_EQ(area->nLength, 16u);
  EXPECT_EQ(area->nAddress, 0xABCDEFu);
  const auto aAreaBad = Msg("F0 43 50 03 00 03 01", "001000ABCDEX", "F7");
  EXPECT_FALSE(DecodeAreaCheck(aAreaBad.data(), aAreaBad.size()));
}

TEST(InstrumentDecoders, OneByteDataPacketOfTheWorkedExample) {
  const auto a = Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7E F7");
  const CDataPacket packet = DecodeDataPacket(a.data(), a.size());
  ASSERT_EQ(packet.eResult, EPacketResult::Ok);
  EXPECT_EQ(packet.nPlanned, 1u);
  EXPECT_EQ(packet.nOffset, 0u);
  EXPECT_EQ(Hex(packet.aData), "41");
}

TEST(InstrumentDecoders, DataPacketFailures) {
  const auto Result = [](const std::vector<std::uint8_t>& a) { return DecodeDataPacket(a.data(), a.size()).eResult; };
  // Checksum off by one.
  EXPECT_EQ(Result(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 7F F7")),
            EPacketResult::BadChecksum);
  // Two data bytes but a planned length of 1 (with a matching checksum).
  EXPECT_EQ(Result(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 41 01 7D F7")),
            EPacketResult::Malformed);
  // Lower-case digit 'a' (61) in the offset with a matching checksum.
  EXPECT_EQ(Result(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 61 00 41 4D F7")),
            EPacketResult::Malformed);
  // A lone high-bit byte as the packed data.
  EXPECT_EQ(Result(Bytes("F0 43 50 03 00 03 00 30 30 30 31 30 30 30 30 30 30 30 30 00 3F F7")),
            EPacketResult::Malformed);
  EXPECT_EQ(Result(Bytes("F0 43 50 03 00 03 00 30 30 30 31 F7")), EPacketResult::Malformed);
  // Planned 2, only one byte follows: allowed, the data may end early.
  const auto aShort = Bytes("F0 43 50 03 00 03 00 30 30 30 32 30 30 30 30 30 30 30 30 00 41 7D F7");
  const CDataPacket packet = DecodeDataPacket(aShort.data(), aShort.size());
  EXPECT_EQ(packet.eResult, EPacketResult::Ok);
  EXPECT_EQ(packet.nPlanned, 2u);
  EXPECT_EQ(packet.aData.size(), 1u);
}

TEST(InstrumentReplies, StatusAndInquiryReplies) {
  EXPECT_EQ(Hex(StatusReply(EInstrumentRequest::ModeOn, kStatusAccepted)), "F0 43 50 03 00 00 40 01 F7");
  EXPECT_EQ(Hex(StatusReply(EInstrumentRequest::SetDevice, kStatusAccepted)), "F0 43 50 03 00 01 41 01 F7");
  EXPECT_EQ(Hex(StatusReply(EInstrumentRequest::DataPacket, kStatusSendAgain)), "F0 43 50 03 00 03 40 02 F7");
  EXPECT_EQ(Hex(StatusReply(EInstrumentRequest::BlockChecksum, kStatusRefused)), "F0 43 50 03 00 04 42 00 F7");
  EXPECT_EQ(Hex(StatusReply(EInstrumentRequest::BaudReset, kStatusAccepted)), "F0 43 50 03 00 05 41 01 F7");
  EXPECT_EQ(Hex(InquiryReply("VELDA")), "F0 43 50 03 00 00 42 56 45 4C 44 41 F7");
  EXPECT_EQ(Hex(InquiryReply("")), "F0 43 50 03 00 00 42 F7");
}

TEST(InstrumentReplies, AreaRepliesPackAndCheck) {
  EXPECT_EQ(Hex(AreaReply(nullptr, 0)), "F0 43 50 03 00 03 41 F7");
  // The installer's worked example: one byte 80 with the checksum 00 decodes to 80.
  EXPECT_EQ(Hex(AreaReply(Bytes("80").data(), 1)), "F0 43 50 03 00 03 41 40 00 00 F7");
  // Data bytes 00 01 7F sum to 80: checksum 00.
  EXPECT_EQ(Hex(AreaReply(Bytes("80 01 FF").data(), 3)), "F0 43 50 03 00 03 41 50 00 01 7F 00 F7");
  // 8 bytes: two groups; data bytes as sent 01..07 and 05 sum to 21 hex; checksum 5F.
  EXPECT_EQ(Hex(AreaReply(Bytes("01 02 03 04 05 06 87 05").data(), 8)),
            "F0 43 50 03 00 03 41 01 01 02 03 04 05 06 07 00 05 5F F7");
  // The high-bit bytes do not count.
  EXPECT_EQ(AreaChecksum(Bytes("7F 01").data(), 2), 0x7F);
}

TEST(InstrumentReplies, CorruptionChangesTheByteTheInstallerLooksAt) {
  auto aStatus = StatusReply(EInstrumentRequest::WriteBlock, kStatusAccepted);
  CorruptReply(aStatus);
  EXPECT_EQ(Hex(aStatus), "F0 43 50 03 00 04 41 7E F7");

  auto aArea = AreaReply(Bytes("80 01 FF").data(), 3);
  CorruptReply(aArea);
  EXPECT_EQ(Hex(aArea), "F0 43 50 03 00 03 41 50 7F 01 7F 00 F7");
  EXPECT_NE(AreaChecksum(aArea.data() + 7, 4), aArea[11]) << "the checksum no longer fits";

  auto aInquiry = InquiryReply("VELDA");
  CorruptReply(aInquiry);
  EXPECT_EQ(Hex(aInquiry), "F0 43 50 03 00 00 42 29 45 4C 44 41 F7");

  auto aEmpty = AreaReply(nullptr, 0);
  CorruptReply(aEmpty);
  EXPECT_EQ(Hex(aEmpty), "F0 43 50 03 7F 03 41 F7");

  auto aForeign = StatusReply(EInstrumentRequest::BlockStart, kStatusAccepted);
  MakeForeign(aForeign);
  EXPECT_EQ(Hex(aForeign), "F0 41 50 03 00 01 42 01 F7");
}

}  // namespace
}  // namespace velda::sim
