#include "protocol/messages.h"

#include <algorithm>

#include "protocol/checksum.h"
#include "protocol/hex_field.h"

namespace velda {

namespace {

constexpr fw::BYTE kManufacturer = 0x43;

CSysEx Header(fw::BYTE nGroup, fw::BYTE nCommand) {
  return CSysEx{SYSEX_START, kManufacturer, 0x50, 0x03, 0x00, nGroup, nCommand};
}

CSysEx Fixed(fw::BYTE nGroup, fw::BYTE nCommand) {
  CSysEx msg = Header(nGroup, nCommand);
  msg.push_back(SYSEX_END);
  return msg;
}

void AppendText(CSysEx& msg, const fw::CString& str) {
  for (int i = 0; i < str.GetLength(); ++i) {
    msg.push_back(static_cast<fw::BYTE>(str[i]));
  }
}

}  // namespace

CSysEx BuildInquiry() { return Fixed(0x00, 0x02); }
CSysEx BuildModeOff() { return Fixed(0x00, 0x01); }
CSysEx BuildWriteBlock() { return Fixed(0x04, 0x01); }
CSysEx BuildBaudUp() { return Fixed(0x05, 0x00); }
CSysEx BuildBaudReset() { return Fixed(0x05, 0x01); }

bool IsSendableKeyword(const fw::CString& strKeyword) {
  if (static_cast<std::size_t>(strKeyword.GetLength()) > MAX_KEYWORD_LENGTH) {
    return false;
  }
  const std::string_view sv = strKeyword.View();
  return std::none_of(sv.begin(), sv.end(), [](char c) { return (static_cast<fw::BYTE>(c) & 0x80) != 0; });
}

CSysEx BuildModeOn(const fw::CString& strKeyword) {
  if (!IsSendableKeyword(strKeyword)) {
    return {};
  }
  CSysEx msg = Header(0x00, 0x00);
  AppendText(msg, strKeyword);
  msg.push_back(SYSEX_END);
  return msg;
}

bool IsSendableDevice(int nDevice) { return nDevice >= 0 && nDevice < 0x80; }

CSysEx BuildSetDevice(int nDevice) {
  if (!IsSendableDevice(nDevice)) {
    return {};
  }
  CSysEx msg = Header(0x01, 0x01);
  msg.push_back(static_cast<fw::BYTE>(nDevice));
  msg.push_back(SYSEX_END);
  return msg;
}

fw::CString BlockStartDigits(fw::UINT nAddress, fw::UINT nLength) {
  fw::CString str;
  AppendHex8(nAddress, str);
  AppendHex8(nLength, str);
  return str;
}

CSysEx BuildBlockStart(const fw::CString& strDigits) {
  CSysEx msg = Header(0x01, 0x02);
  for (int i = 0; i < 16; ++i) {
    msg.push_back(i < strDigits.GetLength() ? static_cast<fw::BYTE>(strDigits[i]) : fw::BYTE{'0'});
  }
  msg.push_back(SYSEX_END);
  return msg;
}

CSysEx BuildAreaCheck(fw::UINT nLength, fw::UINT nAddress) {
  fw::CString str;
  AppendHex4(nLength, str);
  AppendHex8(nAddress, str);
  CSysEx msg = Header(0x03, 0x01);
  AppendText(msg, str);
  msg.push_back(SYSEX_END);
  return msg;
}

CSysEx BuildBlockChecksum(fw::UINT nAddress, fw::UINT nLength, fw::UINT nSum) {
  fw::CString str;
  AppendHex8(nAddress, str);
  AppendHex8(nLength, str);
  AppendHex4(nSum, str);
  CSysEx msg = Header(0x04, 0x02);
  AppendText(msg, str);
  msg.push_back(SYSEX_END);
  return msg;
}

std::size_t DataPacketLength(std::size_t nData) { return DATA_PACKET_PREFIX_SIZE + PackedLength(nData) + 2; }

CDataPacketWriter::CDataPacketWriter(fw::BYTE* pOut) : m_pOut(pOut), m_packer(pOut + DATA_PACKET_PREFIX_SIZE) {
  const CSysEx head = Header(0x03, 0x00);
  std::copy(head.begin(), head.end(), m_pOut);
}

std::size_t CDataPacketWriter::Finish(fw::UINT nPlanned, fw::UINT nOffset) {
  WriteHex4(nPlanned, m_pOut + REQUEST_HEADER_SIZE);
  WriteHex8(nOffset, m_pOut + REQUEST_HEADER_SIZE + 4);
  std::size_t nLen = DATA_PACKET_PREFIX_SIZE + m_packer.Size();
  m_pOut[nLen] = PacketChecksum(m_pOut + REQUEST_HEADER_SIZE, nLen - REQUEST_HEADER_SIZE);
  m_pOut[nLen + 1] = SYSEX_END;
  return nLen + 2;
}

CSysEx BuildDataPacket(fw::UINT nPlanned, fw::UINT nOffset, const fw::BYTE* pData, std::size_t nData) {
  CSysEx msg(DataPacketLength(nData));
  CDataPacketWriter writer(msg.data());
  for (std::size_t i = 0; i < nData; ++i) {
    writer.Put(pData[i]);
  }
  msg.resize(writer.Finish(nPlanned, nOffset));
  return msg;
}

}  // namespace velda
