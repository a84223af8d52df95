// The requests the installer sends, byte for byte. Every request is
// F0 43 50 03 00 <group> <command> <payload> F7; numbers in payloads are hex digits.
#pragma once

#include <cstddef>
#include <vector>

#include "fw/cstring.h"
#include "fw/types.h"
#include "protocol/pack7.h"

namespace velda {

using CSysEx = std::vector<fw::BYTE>;

constexpr fw::BYTE SYSEX_START = 0xF0;
constexpr fw::BYTE SYSEX_END = 0xF7;
constexpr std::size_t REQUEST_HEADER_SIZE = 7;  // F0 43 50 03 00 group command

// The mode-on message is built in 52 bytes: 7 header bytes, the keyword, F7.
constexpr std::size_t MODE_ON_BUFFER_SIZE = 52;
constexpr std::size_t MAX_KEYWORD_LENGTH = MODE_ON_BUFFER_SIZE - REQUEST_HEADER_SIZE - 1;

// Data packet: header, 4 length digits and 8 offset digits, packed data, checksum, F7.
constexpr std::size_t DATA_PACKET_PREFIX_SIZE = REQUEST_HEADER_SIZE + 4 + 8;

CSysEx BuildInquiry();
CSysEx BuildModeOff();
CSysEx BuildWriteBlock();
CSysEx BuildBaudUp();
CSysEx BuildBaudReset();

// A keyword fits its message (at most 44 characters) and keeps every byte below 80 hex.
bool IsSendableKeyword(const fw::CString& strKeyword);
// The keyword as stored, no terminator; empty when the keyword is not sendable.
CSysEx BuildModeOn(const fw::CString& strKeyword);

// A device number travels as one data byte: 0 .. 7F.
bool IsSendableDevice(int nDevice);
// Empty when the device number is not sendable.
CSysEx BuildSetDevice(int nDevice);

// The 16 characters of a block start: the address's 8 digits, then the length's.
fw::CString BlockStartDigits(fw::UINT nAddress, fw::UINT nLength);
// Copies exactly the first 16 characters of strDigits; a shorter text is padded with '0'.
CSysEx BuildBlockStart(const fw::CString& strDigits);

CSysEx BuildAreaCheck(fw::UINT nLength, fw::UINT nAddress);
// The block sum travels as its low 16 bits.
CSysEx BuildBlockChecksum(fw::UINT nAddress, fw::UINT nLength, fw::UINT nSum);

// Length of a data packet carrying nData bytes: 21 + nData + ceil(nData / 7).
std::size_t DataPacketLength(std::size_t nData);

// Builds a data packet in place, taking its data bytes one at a time as they come.
class CDataPacketWriter {
 public:
  explicit CDataPacketWriter(fw::BYTE* pOut);
  void Put(fw::BYTE b) { m_packer.Put(b); }
  // Writes the length field (the planned length, low 16 bits), the offset, the checksum and
  // F7; returns the packet's length.
  std::size_t Finish(fw::UINT nPlanned, fw::UINT nOffset);

 private:
  fw::BYTE* m_pOut;
  CPack7Writer m_packer;
};

CSysEx BuildDataPacket(fw::UINT nPlanned, fw::UINT nOffset, const fw::BYTE* pData, std::size_t nData);

}  // namespace velda
