#include "instrument/sysex_fields.h"

#include <algorithm>

namespace velda::sim {
namespace {

constexpr std::size_t kGroup = 7;  // data bytes per high-bit byte

std::optional<std::uint32_t> DigitValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> ReadHexDigits(const std::uint8_t* p, std::size_t nDigits) {
  if (nDigits == 0 || nDigits > 8) return std::nullopt;
  std::uint32_t nValue = 0;
  for (std::size_t i = 0; i < nDigits; ++i) {
    const std::optional<std::uint32_t> nDigit = DigitValue(p[i]);
    if (!nDigit) return std::nullopt;
    nValue = (nValue << 4) | *nDigit;
  }
  return nValue;
}

void AppendHexDigits(std::uint32_t nValue, std::size_t nDigits, std::vector<std::uint8_t>& aOut) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  nDigits = std::clamp<std::size_t>(nDigits, 1, 8);
  for (std::size_t i = nDigits; i-- > 0;) {
    aOut.push_back(static_cast<std::uint8_t>(kDigits[(nValue >> (4 * i)) & 0xF]));
  }
}

std::size_t PackedSize(std::size_t nData) { return nData + (nData + kGroup - 1) / kGroup; }

void AppendPacked(const std::uint8_t* p, std::size_t n, std::vector<std::uint8_t>& aOut) {
  aOut.reserve(aOut.size() + PackedSize(n));
  for (std::size_t i = 0; i < n; i += kGroup) {
    const std::size_t nInGroup = std::min(kGroup, n - i);
    const std::size_t nHighPos = aOut.size();
    aOut.push_back(0);
    std::uint8_t nHigh = 0;
    for (std::size_t j = 0; j < nInGroup; ++j) {
      const std::uint8_t b = p[i + j];
      if (b & 0x80) nHigh = static_cast<std::uint8_t>(nHigh | (1u << (6 - j)));
      aOut.push_back(static_cast<std::uint8_t>(b & 0x7F));
    }
    aOut[nHighPos] = nHigh;
  }
}

std::optional<std::vector<std::uint8_t>> Unpack(const std::uint8_t* p, std::size_t n) {
  std::vector<std::uint8_t> aData;
  aData.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t nHigh = p[i];
    const std::size_t nInGroup = std::min(kGroup, n - i - 1);
    if (nInGroup == 0 || (nHigh & 0x80) != 0) return std::nullopt;
    const unsigned nAbsentBits = (1u << (kGroup - nInGroup)) - 1;  // bits of bytes not present
    if ((nHigh & nAbsentBits) != 0) return std::nullopt;
    for (std::size_t j = 0; j < nInGroup; ++j) {
      const std::uint8_t d = p[i + 1 + j];
      if (d & 0x80) return std::nullopt;
      const unsigned nBit7 = (nHigh >> (6 - j)) & 1u;
      aData.push_back(static_cast<std::uint8_t>(d | (nBit7 << 7)));
    }
    i += 1 + nInGroup;
  }
  return aData;
}

bool Sum7IsZero(const std::uint8_t* p, std::size_t n) {
  unsigned nSum = 0;
  for (std::size_t i = 0; i < n; ++i) nSum += p[i];
  return (nSum & 0x7F) == 0;
}

std::uint8_t Checksum7(const std::uint8_t* p, std::size_t n) {
  unsigned nSum = 0;
  for (std::size_t i = 0; i < n; ++i) nSum += p[i];
  return static_cast<std::uint8_t>((128 - (nSum & 0x7F)) & 0x7F);
}

std::uint16_t Sum16(const std::uint8_t* p, std::size_t n) {
  std::uint32_t nSum = 0;
  for (std::size_t i = 0; i < n; ++i) nSum += p[i];
  return static_cast<std::uint16_t>(nSum & 0xFFFF);
}

}  // namespace velda::sim
