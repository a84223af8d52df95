// Hex digit fields of the protocol payloads.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "protocol/hex_field.h"

namespace velda {
namespace {

std::string Hex8(fw::UINT n) {
  fw::CString str;
  AppendHex8(n, str);
  return str.Str();
}

std::string Hex4(fw::UINT n) {
  fw::CString str;
  AppendHex4(n, str);
  return str.Str();
}

TEST(ProtocolHex, EightDigitsMostSignificantFirstWithLeadingZeros) {
  EXPECT_EQ(Hex8(2450), "00000992");
  EXPECT_EQ(Hex8(0), "00000000");
  EXPECT_EQ(Hex8(65536), "00010000");
  EXPECT_EQ(Hex8(0x1234ABCD), "1234ABCD");
  EXPECT_EQ(Hex8(0xFFFFFFFF), "FFFFFFFF");
  EXPECT_EQ(Hex8(0xA0B0C0DE), "A0B0C0DE");  // upper-case letters only
}

TEST(ProtocolHex, FourDigitFieldKeepsOnlyTheLow16Bits) {
  EXPECT_EQ(Hex4(2450), "0992");
  EXPECT_EQ(Hex4(0x12345), "2345");
  EXPECT_EQ(Hex4(0x1FFFF), "FFFF");
  EXPECT_EQ(Hex4(0x10000), "0000");
  EXPECT_EQ(Hex4(7), "0007");
}

TEST(ProtocolHex, AppendingKeepsWhatTheStringHeld) {
  // The digits are turned round after being produced low nibble first; only the new ones.
  fw::CString str("AB");
  AppendHex8(0x12, str);
  EXPECT_EQ(str.Str(), "AB00000012");
  AppendHex4(0x3456, str);
  EXPECT_EQ(str.Str(), "AB000000123456");
}

TEST(ProtocolHex, WritesIntoABufferWithoutTouchingItsNeighbours) {
  std::array<fw::BYTE, 14> a{};
  a.fill(0xEE);
  WriteHex8(0x00010000, a.data() + 1);
  WriteHex4(0x12345, a.data() + 9);
  EXPECT_EQ(a[0], 0xEE);
  EXPECT_EQ(std::string(a.begin() + 1, a.begin() + 13), "000100002345");
  EXPECT_EQ(a[13], 0xEE);
}

}  // namespace
}  // namespace velda
