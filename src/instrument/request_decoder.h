// Payloads of the requests that carry fields, decoded from the whole message (F0 .. F7) whose
// kind ClassifyRequest has already told. A field that is not exactly as a correct sender writes
// it makes the request malformed, and the instrument refuses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velda::sim {

// Set device: the device number byte.
std::optional<std::uint8_t> DecodeSetDevice(const std::uint8_t* p, std::size_t n);

// Block start: 8 digits of address, 8 of length; the block must lie below 2^32.
struct CBlockStart {
  std::uint32_t nAddress = 0;
  std::uint32_t nLength = 0;
};
std::optional<CBlockStart> DecodeBlockStart(const std::uint8_t* p, std::size_t n);

// Block checksum: 8 digits of address, 8 of length, 4 of the 16-bit sum.
struct CBlockChecksum {
  std::uint32_t nAddress = 0;
  std::uint32_t nLength = 0;
  std::uint16_t nSum = 0;
};
std::optional<CBlockChecksum> DecodeBlockChecksum(const std::uint8_t* p, std::size_t n);

// Area check: 4 digits of length, 8 of address; the area must lie below 2^32.
struct CAreaCheck {
  std::uint32_t nLength = 0;
  std::uint32_t nAddress = 0;
};
std::optional<CAreaCheck> DecodeAreaCheck(const std::uint8_t* p, std::size_t n);

// Data packet: 4 digits of planned length, 8 of offset, packed data, checksum. The checksum is
// judged first (a damaged packet is asked for again); then the fields (malformed: refused).
// Fewer data bytes than planned is allowed: the sender's data may end early.
enum class EPacketResult { Ok, BadChecksum, Malformed };
struct CDataPacket {
  EPacketResult eResult = EPacketResult::Malformed;
  std::uint32_t nPlanned = 0;
  std::uint32_t nOffset = 0;
  std::vector<std::uint8_t> aData;
};
CDataPacket DecodeDataPacket(const std::uint8_t* p, std::size_t n);

// Smallest data packet: header 7, length 4, offset 8, checksum 1, F7.
inline constexpr std::size_t kMinDataPacketLen = 21;

}  // namespace velda::sim
