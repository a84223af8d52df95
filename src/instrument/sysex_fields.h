// The instrument's own reading and writing of the protocol's field encodings: ASCII hex digits,
// 7-in-8 packing and the 7-bit sums. Deliberately strict, so that a sloppy sender is noticed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velda::sim {

// The value of nDigits (1..8) hex digits, most significant first. Only 0-9 and upper-case A-F
// are digits: that is all a correct sender ever writes.
std::optional<std::uint32_t> ReadHexDigits(const std::uint8_t* p, std::size_t nDigits);

// Appends the low nDigits (1..8) hex digits of nValue, upper case, most significant first.
void AppendHexDigits(std::uint32_t nValue, std::size_t nDigits, std::vector<std::uint8_t>& aOut);

// Bytes that n data bytes take packed 7-in-8: n + ceil(n / 7).
std::size_t PackedSize(std::size_t nData);

// Appends n data bytes packed 7-in-8: per group of up to 7 bytes one high-bit byte (bit 6 for the
// group's first byte down to bit 0 for the seventh) followed by the low 7 bits of each byte.
void AppendPacked(const std::uint8_t* p, std::size_t n, std::vector<std::uint8_t>& aOut);

// Reverses AppendPacked. nullopt when the bytes cannot come from a correct packer: a group that
// is only a high-bit byte, a byte with bit 7 set, or high bits given for absent bytes.
std::optional<std::vector<std::uint8_t>> Unpack(const std::uint8_t* p, std::size_t n);

// True when the low 7 bits of the sum of the n bytes are 0.
bool Sum7IsZero(const std::uint8_t* p, std::size_t n);

// The byte that, added to the n bytes, brings the low 7 bits of their sum to 0.
std::uint8_t Checksum7(const std::uint8_t* p, std::size_t n);

// Low 16 bits of the arithmetic sum of the bytes (each 0..255).
std::uint16_t Sum16(const std::uint8_t* p, std::size_t n);

}  // namespace velda::sim
