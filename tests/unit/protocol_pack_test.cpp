// 7-in-8 packing and the packet checksum.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/checksum.h"
#include "protocol/pack7.h"

namespace velda {
namespace {

std::vector<fw::BYTE> Pack(const std::vector<fw::BYTE>& aData) {
  std::vector<fw::BYTE> aOut(PackedLength(aData.size()) + 1, 0xEE);
  const std::size_t n = Pack7in8(aData.data(), aData.size(), aOut.data());
  EXPECT_EQ(n, PackedLength(aData.size()));
  EXPECT_EQ(aOut.back(), 0xEE) << "wrote past the packed length";
  aOut.resize(n);
  return aOut;
}

TEST(ProtocolPack, WorkedExample) {
  EXPECT_EQ(Pack({0x80, 0x01, 0xFF}), (std::vector<fw::BYTE>{0x50, 0x00, 0x01, 0x7F}));
}

TEST(ProtocolPack, HighBitsGoFromBit6DownToBit0) {
  EXPECT_EQ(Pack({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}), (std::vector<fw::BYTE>{0x7F, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Pack({0, 0, 0, 0, 0, 0, 0xC1}), (std::vector<fw::BYTE>{0x01, 0, 0, 0, 0, 0, 0, 0x41}));
  // The eighth byte opens a new group with its own high-bit byte.
  EXPECT_EQ(Pack({1, 2, 3, 4, 5, 6, 7, 0x88}), (std::vector<fw::BYTE>{0x00, 1, 2, 3, 4, 5, 6, 7, 0x40, 0x08}));
}

TEST(ProtocolPack, NothingTakesNoBytes) {
  EXPECT_TRUE(Pack({}).empty());
  EXPECT_EQ(PackedLength(0), 0u);
}

TEST(ProtocolPack, PackedLengths) {
  EXPECT_EQ(PackedLength(1), 2u);
  EXPECT_EQ(PackedLength(7), 8u);
  EXPECT_EQ(PackedLength(8), 10u);
  EXPECT_EQ(PackedLength(2450), 2800u);  // 350 full groups
}

TEST(ProtocolPack, WriterTakesBytesOneAtATime) {
  std::vector<fw::BYTE> aOut(4, 0xEE);
  CPack7Writer writer(aOut.data());
  EXPECT_EQ(writer.Size(), 0u);
  writer.Put(0x80);
  EXPECT_EQ(writer.Size(), 2u);  // the open group already counts its high-bit byte
  writer.Put(0x01);
  writer.Put(0xFF);
  EXPECT_EQ(writer.Size(), 4u);
  EXPECT_EQ(aOut, (std::vector<fw::BYTE>{0x50, 0x00, 0x01, 0x7F}));
}

TEST(ProtocolChecksum, WorkedExampleOfTheOneBytePacket) {
  // 30 30 30 31 30 30 30 30 30 30 30 30 00 41 -> 7E
  const std::vector<fw::BYTE> a{0x30, 0x30, 0x30, 0x31, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x00, 0x41};
  EXPECT_EQ(PacketChecksum(a.data(), a.size()), 0x7E);
}

TEST(ProtocolChecksum, LowSevenBitsOfTheSumWithTheChecksumAreZero) {
  EXPECT_EQ(PacketChecksum(nullptr, 0), 0);
  const std::vector<fw::BYTE> aZero{0x80, 0x00};
  EXPECT_EQ(PacketChecksum(aZero.data(), aZero.size()), 0);  // 128 mod 128 = 0, not 128
  const std::vector<fw::BYTE> aOne{0x01};
  EXPECT_EQ(PacketChecksum(aOne.data(), aOne.size()), 0x7F);
  std::vector<fw::BYTE> aLong(3000);
  for (std::size_t i = 0; i < aLong.size(); ++i) aLong[i] = static_cast<fw::BYTE>(i * 37);
  unsigned nSum = 0;
  for (fw::BYTE b : aLong) nSum += b;
  const fw::BYTE c = PacketChecksum(aLong.data(), aLong.size());
  EXPECT_LT(c, 0x80);
  EXPECT_EQ((nSum + c) & 0x7F, 0u);
}

}  // namespace
}  // namespace velda
