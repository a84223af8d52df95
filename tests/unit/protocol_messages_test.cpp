// The requests, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/messages.h"
#include "shell/texts.h"

namespace velda {
namespace {

using V = std::vector<fw::BYTE>;

// Header bytes, then text, then the F7.
V Frame(V aHead, const std::string& strText) {
  for (char c : strText) aHead.push_back(static_cast<fw::BYTE>(c));
  aHead.push_back(0xF7);
  return aHead;
}

// No byte between F0 and F7 may have bit 7 set.
void ExpectCleanFrame(const V& msg) {
  ASSERT_GE(msg.size(), 2u);
  EXPECT_EQ(msg.front(), 0xF0);
  EXPECT_EQ(msg.back(), 0xF7);
  for (std::size_t i = 1; i + 1 < msg.size(); ++i) {
    EXPECT_LT(msg[i], 0x80) << "byte " << i;
  }
}

TEST(ProtocolMessages, FixedRequests) {
  EXPECT_EQ(BuildInquiry(), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7}));
  EXPECT_EQ(BuildModeOff(), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x01, 0xF7}));
  EXPECT_EQ(BuildWriteBlock(), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x04, 0x01, 0xF7}));
  EXPECT_EQ(BuildBaudUp(), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x05, 0x00, 0xF7}));
  EXPECT_EQ(BuildBaudReset(), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x05, 0x01, 0xF7}));
}

TEST(ProtocolMessages, ModeOnCarriesTheKeywordAsStored) {
  const V msg = BuildModeOn(fw::CString(DEFAULT_KEYWORD));
  EXPECT_EQ(msg.size(), 24u);
  EXPECT_EQ(msg, Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00}, DEFAULT_KEYWORD));
  EXPECT_EQ(BuildModeOn(fw::CString(" a\"b ")), Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00}, " a\"b "));
}

TEST(ProtocolMessages, ModeOnWithAnEmptyKeywordIsEightBytes) {
  EXPECT_EQ(BuildModeOn(fw::CString("")), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00, 0xF7}));
}

TEST(ProtocolMessages, KeywordsThatWouldBreakTheFrameAreNotSendable) {
  const std::string str44(44, 'K');
  EXPECT_TRUE(IsSendableKeyword(fw::CString(str44)));
  const V msg = BuildModeOn(fw::CString(str44));
  EXPECT_EQ(msg.size(), MODE_ON_BUFFER_SIZE);
  ExpectCleanFrame(msg);

  const std::string str45(45, 'K');
  EXPECT_FALSE(IsSendableKeyword(fw::CString(str45)));
  EXPECT_TRUE(BuildModeOn(fw::CString(str45)).empty());

  EXPECT_FALSE(IsSendableKeyword(fw::CString("ab\x80")));
  EXPECT_FALSE(IsSendableKeyword(fw::CString("\xF7")));
  EXPECT_TRUE(BuildModeOn(fw::CString("\x82\xA0")).empty());  // a double-byte character
  EXPECT_TRUE(IsSendableKeyword(fw::CString("\x7F")));
}

TEST(ProtocolMessages, SetDevice) {
  EXPECT_EQ(BuildSetDevice(2), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x01, 0x02, 0xF7}));
  EXPECT_EQ(BuildSetDevice(0x7F), (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x01, 0x7F, 0xF7}));
  EXPECT_TRUE(IsSendableDevice(0));
  EXPECT_FALSE(IsSendableDevice(0x80));
  EXPECT_FALSE(IsSendableDevice(0x102));  // its low 8 bits would pass, the number does not
  EXPECT_FALSE(IsSendableDevice(-1));
  EXPECT_TRUE(BuildSetDevice(0x80).empty());
}

TEST(ProtocolMessages, BlockStart) {
  const fw::CString strDigits = BlockStartDigits(0, 65536);
  EXPECT_EQ(strDigits.Str(), "0000000000010000");
  const V msg = BuildBlockStart(strDigits);
  EXPECT_EQ(msg.size(), 24u);
  EXPECT_EQ(msg, Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x02}, "0000000000010000"));
  EXPECT_EQ(BuildBlockStart(BlockStartDigits(0x00FE1000, 0x1000)),
            Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x02}, "00FE100000001000"));
}

TEST(ProtocolMessages, BlockStartCopiesExactlySixteenCharacters) {
  EXPECT_EQ(BuildBlockStart(fw::CString("0123456789ABCDEFXYZ")),
            Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x02}, "0123456789ABCDEF"));
  EXPECT_EQ(BuildBlockStart(fw::CString("12")), Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x02}, "1200000000000000"));
}

TEST(ProtocolMessages, AreaCheck) {
  const V msg = BuildAreaCheck(0x10, 0x00123456);
  EXPECT_EQ(msg.size(), 20u);
  EXPECT_EQ(msg, Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x01}, "001000123456"));
  // Only the low 16 bits of the length travel.
  EXPECT_EQ(BuildAreaCheck(0x12345, 0), Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x01}, "234500000000"));
}

TEST(ProtocolMessages, BlockChecksumSendsTheLow16BitsOfTheSum) {
  const V msg = BuildBlockChecksum(0x1000, 4096, 0x12345);
  EXPECT_EQ(msg.size(), 28u);
  EXPECT_EQ(msg, Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x04, 0x02}, "00001000000010002345"));
  EXPECT_EQ(BuildBlockChecksum(0, 1, 0x1FFFF),
            Frame({0xF0, 0x43, 0x50, 0x03, 0x00, 0x04, 0x02}, "0000000000000001FFFF"));
}

TEST(ProtocolMessages, DataPacketWorkedExample) {
  const V aData{0x41};
  EXPECT_EQ(BuildDataPacket(1, 0, aData.data(), aData.size()),
            (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x00, 0x30, 0x30, 0x30, 0x31, 0x30,
               0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x00, 0x41, 0x7E, 0xF7}));
}

TEST(ProtocolMessages, DataPacketLengths) {
  for (const auto& [nData, nLen] : {std::pair<std::size_t, std::size_t>{2450, 2821}, {7, 29}, {8, 31}, {1, 23}}) {
    EXPECT_EQ(DataPacketLength(nData), nLen);
    const V aData(nData, 0xA5);
    const V msg = BuildDataPacket(static_cast<fw::UINT>(nData), 0, aData.data(), aData.size());
    EXPECT_EQ(msg.size(), nLen) << nData;
    ExpectCleanFrame(msg);
  }
}

TEST(ProtocolMessages, DataPacketFieldsAndChecksum) {
  V aData;
  for (int i = 0; i < 9; ++i) aData.push_back(static_cast<fw::BYTE>(0x7B + i * 19));
  const V msg = BuildDataPacket(9, 2450, aData.data(), aData.size());
  ASSERT_EQ(msg.size(), 21u + 9u + 2u);
  EXPECT_EQ(std::string(msg.begin() + 7, msg.begin() + 19), "000900000992");
  V aPacked(PackedLength(aData.size()));
  Pack7in8(aData.data(), aData.size(), aPacked.data());
  EXPECT_TRUE(std::equal(aPacked.begin(), aPacked.end(), msg.begin() + 19));
  unsigned nSum = 0;
  for (std::size_t i = 7; i + 1 < msg.size(); ++i) nSum += msg[i];  // through the checksum
  EXPECT_EQ(nSum & 0x7F, 0u);
}

TEST(ProtocolMessages, DataPacketAnnouncesThePlannedLengthWhenTheDataEndEarly) {
  const V aData{0x01, 0x02};
  const V msg = BuildDataPacket(0x12992, 0, aData.data(), aData.size());
  EXPECT_EQ(std::string(msg.begin() + 7, msg.begin() + 11), "2992");
  EXPECT_EQ(msg.size(), 21u + 2u + 1u);
}

TEST(ProtocolMessages, PacketWriterLeavesNoByteForAnEmptyPacket) {
  V aBuf(32, 0xEE);
  CDataPacketWriter writer(aBuf.data());
  EXPECT_EQ(writer.Finish(0, 0), 21u);
  EXPECT_EQ(aBuf[19], 0x40);  // twelve '0' digits sum to 0x240: 128 - 0x40
  EXPECT_EQ(aBuf[20], 0xF7);
  EXPECT_EQ(aBuf[21], 0xEE);
}

}  // namespace
}  // namespace velda
