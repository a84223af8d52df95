// The instrument's replies, byte for byte, and the ways a faulty instrument spoils them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "instrument/request_kind.h"

namespace velda::sim {

inline constexpr std::uint8_t kStatusRefused = 0x00;
inline constexpr std::uint8_t kStatusAccepted = 0x01;
inline constexpr std::uint8_t kStatusSendAgain = 0x02;

// F0 43 50 03 00 <group> <40 + command> <status> F7. Also the refusal of an inquiry or an area
// check, whose normal replies have no status byte.
std::vector<std::uint8_t> StatusReply(EInstrumentRequest eRequest, std::uint8_t nStatus);

// F0 43 50 03 00 00 42 <text> F7; text bytes are kept to 7 bits.
std::vector<std::uint8_t> InquiryReply(std::string_view strText);

// F0 43 50 03 00 03 41 <bytes packed 7-in-8> <checksum> F7; with no bytes F0 43 50 03 00 03 41 F7.
std::vector<std::uint8_t> AreaReply(const std::uint8_t* p, std::size_t n);

// Checksum of an area reply over its packed bytes: it counts the data bytes as sent and skips
// the high-bit bytes (the first of every eight).
std::uint8_t AreaChecksum(const std::uint8_t* pPacked, std::size_t n);

// Spoils one byte of a reply so that the installer notices: the status byte; in an area reply
// the first data byte, which breaks its checksum; in an inquiry reply the first text byte. A
// reply with none of these (an empty area or inquiry reply) gets byte 4 changed instead.
void CorruptReply(std::vector<std::uint8_t>& aReply);

// The same reply under another manufacturer's identifier.
void MakeForeign(std::vector<std::uint8_t>& aReply);
inline constexpr std::uint8_t kForeignManufacturer = 0x41;

}  // namespace velda::sim
