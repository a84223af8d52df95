#include "instrument/request_decoder.h"

#include <utility>

#include "instrument/sysex_fields.h"

namespace velda::sim {
namespace {

constexpr std::size_t kPayload = 7;  // offset of the first payload byte

bool FitsBelow4G(std::uint32_t nAddress, std::uint32_t nLength) {
  return static_cast<std::uint64_t>(nAddress) + nLength <= 0x100000000ull;
}

}  // namespace

std::optional<std::uint8_t> DecodeSetDevice(const std::uint8_t* p, std::size_t n) {
  if (n != 9) return std::nullopt;
  return p[kPayload];
}

std::optional<CBlockStart> DecodeBlockStart(const std::uint8_t* p, std::size_t n) {
  if (n != 24) return std::nullopt;
  const auto nAddress = ReadHexDigits(p + kPayload, 8);
  const auto nLength = ReadHexDigits(p + kPayload + 8, 8);
  if (!nAddress || !nLength || !FitsBelow4G(*nAddress, *nLength)) return std::nullopt;
  return CBlockStart{*nAddress, *nLength};
}

std::optional<CBlockChecksum> DecodeBlockChecksum(const std::uint8_t* p, std::size_t n) {
  if (n != 28) return std::nullopt;
  const auto nAddress = ReadHexDigits(p + kPayload, 8);
  const auto nLength = ReadHexDigits(p + kPayload + 8, 8);
  const auto nSum = ReadHexDigits(p + kPayload + 16, 4);
  if (!nAddress || !nLength || !nSum || !FitsBelow4G(*nAddress, *nLength)) return std::nullopt;
  return CBlockChecksum{*nAddress, *nLength, static_cast<std::uint16_t>(*nSum)};
}

std::optional<CAreaCheck> DecodeAreaCheck(const std::uint8_t* p, std::size_t n) {
  if (n != 20) return std::nullopt;
  const auto nLength = ReadHexDigits(p + kPayload, 4);
  const auto nAddress = ReadHexDigits(p + kPayload + 4, 8);
  if (!nLength || !nAddress || !FitsBelow4G(*nAddress, *nLength)) return std::nullopt;
  return CAreaCheck{*nLength, *nAddress};
}

CDataPacket DecodeDataPacket(const std::uint8_t* p, std::size_t n) {
  CDataPacket packet;
  if (n < kMinDataPacketLen) return packet;
  // Bytes 7 up to and including the checksum (the byte before F7).
  if (!Sum7IsZero(p + kPayload, n - 1 - kPayload)) {
    packet.eResult = EPacketResult::BadChecksum;
    return packet;
  }
  const auto nPlanned = ReadHexDigits(p + kPayload, 4);
  const auto nOffset = ReadHexDigits(p + kPayload + 4, 8);
  if (!nPlanned || !nOffset) return packet;
  const std::size_t nPackedBegin = kPayload + 12;
  const std::size_t nPackedEnd = n - 2;  // the checksum byte
  auto aData = Unpack(p + nPackedBegin, nPackedEnd - nPackedBegin);
  if (!aData || aData->size() > *nPlanned) return packet;
  packet.nPlanned = *nPlanned;
  packet.nOffset = *nOffset;
  packet.aData = std::move(*aData);
  packet.eResult = EPacketResult::Ok;
  return packet;
}

}  // namespace velda::sim
