// Decoding the area-check reply: the worked examples, the checksum, and the limits of a reply
// that is too long or ends too soon.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/area_reply.h"
#include "protocol/pack7.h"

namespace velda {
namespace {

using V = std::vector<fw::BYTE>;

const V kHead{0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41};

// A reply as the instrument builds it: the data packed 7-in-8, then a correct checksum.
V Reply(const V& aData, int nChecksumDelta = 0) {
  V msg = kHead;
  V aPacked(PackedLength(aData.size()));
  Pack7in8(aData.data(), aData.size(), aPacked.data());
  msg.insert(msg.end(), aPacked.begin(), aPacked.end());
  unsigned nSum = 0;
  for (fw::BYTE b : aData) nSum += b & 0x7F;
  msg.push_back(static_cast<fw::BYTE>((128 - nSum % 128 + nChecksumDelta) % 128));
  msg.push_back(0xF7);
  return msg;
}

struct CDecoded {
  CAreaDecodeResult result;
  V aOut;
};

CDecoded Decode(const V& msg, std::size_t nCapacity = 4096) {
  CDecoded d;
  d.aOut.assign(nCapacity + 1, 0xEE);
  d.result = DecodeAreaReply(msg.data(), msg.size(), d.aOut.data(), nCapacity);
  EXPECT_EQ(d.aOut[nCapacity], 0xEE) << "wrote beyond the capacity";
  d.aOut.resize(d.result.nBytes);
  return d;
}

TEST(ProtocolAreaReply, WorkedExampleWithABadChecksumIsComplemented) {
  const CDecoded d = Decode({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0x40, 0x00, 0x01, 0xF7});
  EXPECT_EQ(d.aOut, V{0x7F});
  EXPECT_FALSE(d.result.bChecksumOk);
}

TEST(ProtocolAreaReply, WorkedExampleWithAGoodChecksum) {
  const CDecoded d = Decode({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0x40, 0x00, 0x00, 0xF7});
  EXPECT_EQ(d.aOut, V{0x80});
  EXPECT_TRUE(d.result.bChecksumOk);
}

TEST(ProtocolAreaReply, NoDataWhenF7FollowsTheHeader) {
  const CDecoded d = Decode({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0xF7});
  EXPECT_EQ(d.result.nBytes, 0u);
  EXPECT_TRUE(d.result.bChecksumOk);
}

TEST(ProtocolAreaReply, RoundTripsEveryLengthAroundTheGroupSize) {
  for (std::size_t n : {1u, 2u, 6u, 8u, 13u, 15u, 100u, 4095u, 4096u}) {
    V aData(n);
    for (std::size_t i = 0; i < n; ++i) aData[i] = static_cast<fw::BYTE>(i * 151 + 7);
    const CDecoded d = Decode(Reply(aData));
    EXPECT_TRUE(d.result.bChecksumOk) << n;
    EXPECT_EQ(d.aOut, aData) << n;
  }
}

TEST(ProtocolAreaReply, AnyBadChecksumComplementsTheFirstByteOnly) {
  const V aData{0x12, 0x80, 0xFF, 0x00};
  const CDecoded d = Decode(Reply(aData, 1));
  EXPECT_FALSE(d.result.bChecksumOk);
  EXPECT_EQ(d.aOut, (V{0xED, 0x80, 0xFF, 0x00}));
}

TEST(ProtocolAreaReply, TheByteBeforeF7IsAlwaysTheChecksum) {
  // Seven packed bytes and F7: the seventh is taken as the checksum, not as data.
  V msg = kHead;
  const V aPacked{0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  msg.insert(msg.end(), aPacked.begin(), aPacked.end());
  msg.push_back(0xF7);
  CDecoded d = Decode(msg);
  EXPECT_FALSE(d.result.bChecksumOk);  // 1 + 2 + ... + 6 + 7 = 28
  EXPECT_EQ(d.aOut, (V{0x7E, 0x82, 0x83, 0x84, 0x85, 0x86}));
  msg[msg.size() - 2] = 0x6B;  // 21 + 0x6B = 128
  d = Decode(msg);
  EXPECT_TRUE(d.result.bChecksumOk);
  EXPECT_EQ(d.aOut, (V{0x81, 0x82, 0x83, 0x84, 0x85, 0x86}));
}

TEST(ProtocolAreaReply, SevenDataBytesAreChecksummedWhenTheChecksumFollows) {
  V aData{1, 2, 3, 4, 5, 6, 7};
  const CDecoded d = Decode(Reply(aData));
  EXPECT_EQ(d.aOut, aData);
  EXPECT_TRUE(d.result.bChecksumOk);
}

TEST(ProtocolAreaReply, AReplyThatEndsWhereDataIsDueIsDamaged) {
  // A high-bit byte and nothing after it.
  CDecoded d = Decode({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0x40, 0xF7});
  EXPECT_EQ(d.result.nBytes, 0u);
  EXPECT_FALSE(d.result.bChecksumOk);
  // A high-bit byte and one data byte, no checksum.
  d = Decode({0xF0, 0x43, 0x50, 0x03, 0x00, 0x03, 0x41, 0x00, 0x05, 0xF7});
  EXPECT_EQ(d.aOut, V{0xFA});
  EXPECT_FALSE(d.result.bChecksumOk);
}

TEST(ProtocolAreaReply, NeverReadsPastTheGivenLength) {
  // Cut at every length and followed by bytes that look like more data: whatever lies beyond
  // the given length must not change the result.
  const V full = Reply({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90});
  for (std::size_t nLen = 0; nLen < full.size(); ++nLen) {
    V padded(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(nLen));
    padded.insert(padded.end(), 40, 0x01);
    V aOut(64, 0xEE);
    const CAreaDecodeResult r = DecodeAreaReply(padded.data(), nLen, aOut.data(), 64);
    V aBare(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(nLen));
    const CDecoded d = Decode(aBare);
    EXPECT_EQ(r.nBytes, d.result.nBytes) << nLen;
    EXPECT_EQ(r.bChecksumOk, d.result.bChecksumOk) << nLen;
    EXPECT_LE(r.nBytes, 9u);
  }
}

TEST(ProtocolAreaReply, StopsWritingAtTheCapacity) {
  V aData(20);
  for (std::size_t i = 0; i < aData.size(); ++i) aData[i] = static_cast<fw::BYTE>(0x90 + i);
  const CDecoded d = Decode(Reply(aData), 10);
  EXPECT_EQ(d.result.nBytes, 10u);
  EXPECT_TRUE(d.result.bChecksumOk);  // the whole reply is still checked
  EXPECT_EQ(d.aOut, V(aData.begin(), aData.begin() + 10));
}

}  // namespace
}  // namespace velda
