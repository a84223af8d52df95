#include "instrument/intel_hex.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velda::sim {
namespace {

constexpr std::uint8_t kRecData = 0x00;
constexpr std::uint8_t kRecEnd = 0x01;
constexpr std::uint8_t kRecSegment = 0x02;
constexpr std::uint8_t kRecStartSegment = 0x03;
constexpr std::uint8_t kRecLinear = 0x04;
constexpr std::uint8_t kRecStartLinear = 0x05;
constexpr std::size_t kLine = 16;

void AppendByteHex(std::uint8_t b, std::string& str) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  str.push_back(kDigits[b >> 4]);
  str.push_back(kDigits[b & 0xF]);
}

void AppendRecord(std::uint8_t nType, std::uint16_t nAddress, const std::uint8_t* p, std::size_t n, std::string& str) {
  const std::uint8_t aHead[4] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(nAddress >> 8),
                                 static_cast<std::uint8_t>(nAddress & 0xFF), nType};
  unsigned nSum = 0;
  str.push_back(':');
  for (const std::uint8_t b : aHead) {
    AppendByteHex(b, str);
    nSum += b;
  }
  for (std::size_t i = 0; i < n; ++i) {
    AppendByteHex(p[i], str);
    nSum += p[i];
  }
  AppendByteHex(static_cast<std::uint8_t>((0x100 - (nSum & 0xFF)) & 0xFF), str);
  str += "\r\n";
}

std::optional<unsigned> HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return std::nullopt;
}

// The bytes of one record line after its colon; nullopt on a character that is not a hex digit.
std::optional<std::vector<std::uint8_t>> RecordBytes(std::string_view strDigits) {
  if (strDigits.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> a;
  a.reserve(strDigits.size() / 2);
  for (std::size_t i = 0; i < strDigits.size(); i += 2) {
    const auto nHigh = HexValue(strDigits[i]);
    const auto nLow = HexValue(strDigits[i + 1]);
    if (!nHigh || !nLow) return std::nullopt;
    a.push_back(static_cast<std::uint8_t>((*nHigh << 4) | *nLow));
  }
  return a;
}

bool Fail(std::size_t nLine, const std::string& strReason, std::string& strError) {
  strError = "line " + std::to_string(nLine) + ": " + strReason;
  return false;
}

}  // namespace

void WriteIntelHex(const CSparseMemory& memory, const std::function<void(std::string_view)>& fnPut) {
  constexpr std::size_t kFlushAt = 16 * 1024;
  std::string str;
  str.reserve(kFlushAt + 64);
  std::uint32_t nUpper = 0;
  memory.ForEachRun([&](std::uint32_t nAddress, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
      const std::size_t nChunk = std::min(n, kLine - nAddress % kLine);
      if ((nAddress >> 16) != nUpper) {
        nUpper = nAddress >> 16;
        const std::uint8_t aUpper[2] = {static_cast<std::uint8_t>(nUpper >> 8),
                                        static_cast<std::uint8_t>(nUpper & 0xFF)};
        AppendRecord(kRecLinear, 0, aUpper, 2, str);
      }
      AppendRecord(kRecData, static_cast<std::uint16_t>(nAddress & 0xFFFF), p, nChunk, str);
      nAddress += static_cast<std::uint32_t>(nChunk);
      p += nChunk;
      n -= nChunk;
      if (str.size() >= kFlushAt) {
        fnPut(str);
        str.clear();
      }
    }
  });
  AppendRecord(kRecEnd, 0, nullptr, 0, str);
  fnPut(str);
}

std::string FormatIntelHex(const CSparseMemory& memory) {
  std::string str;
  WriteIntelHex(memory, [&str](std::string_view strPiece) { str += strPiece; });
  return str;
}

bool ParseIntelHex(std::string_view strText, CSparseMemory& memory, std::string& strError) {
  CSparseMemory loaded;
  std::uint64_t nBase = 0;
  std::size_t nLine = 0;
  bool bEnded = false;
  while (!strText.empty() && !bEnded) {
    const std::size_t nEol = strText.find('\n');
    std::string_view strLine = strText.substr(0, nEol);
    strText = nEol == std::string_view::npos ? std::string_view{} : strText.substr(nEol + 1);
    ++nLine;
    while (!strLine.empty() && (strLine.back() == '\r' || strLine.back() == ' ' || strLine.back() == '\t')) {
      strLine.remove_suffix(1);
    }
    if (strLine.empty()) continue;
    if (strLine.front() != ':') return Fail(nLine, "a record must begin with ':'", strError);
    const auto aBytes = RecordBytes(strLine.substr(1));
    if (!aBytes) return Fail(nLine, "not an even number of hex digits", strError);
    const std::vector<std::uint8_t>& a = *aBytes;
    if (a.size() < 5) return Fail(nLine, "record too short", strError);
    const std::size_t nCount = a[0];
    if (a.size() != nCount + 5) return Fail(nLine, "byte count does not match the record length", strError);
    unsigned nSum = 0;
    for (const std::uint8_t b : a) nSum += b;
    if ((nSum & 0xFF) != 0) return Fail(nLine, "checksum mismatch", strError);
    const std::uint32_t nOffset = (static_cast<std::uint32_t>(a[1]) << 8) | a[2];
    const std::uint8_t* pData = a.data() + 4;
    switch (a[3]) {
      case kRecData:
        if (nBase + nOffset + nCount > 0x100000000ull) return Fail(nLine, "data beyond address FFFFFFFF", strError);
        loaded.Write(static_cast<std::uint32_t>(nBase + nOffset), pData, nCount);
        break;
      case kRecEnd:
        if (nCount != 0) return Fail(nLine, "end-of-file record with data", strError);
        bEnded = true;
        break;
      case kRecSegment:
        if (nCount != 2) return Fail(nLine, "extended segment address record needs 2 bytes", strError);
        nBase = ((static_cast<std::uint64_t>(pData[0]) << 8) | pData[1]) << 4;
        break;
      case kRecLinear:
        if (nCount != 2) return Fail(nLine, "extended linear address record needs 2 bytes", strError);
        nBase = ((static_cast<std::uint64_t>(pData[0]) << 8) | pData[1]) << 16;
        break;
      case kRecStartSegment:
      case kRecStartLinear:
        if (nCount != 4) return Fail(nLine, "start address record needs 4 bytes", strError);
        break;
      default:
        return Fail(nLine, "unknown record type " + std::to_string(a[3]), strError);
    }
  }
  if (!bEnded) return Fail(nLine, "no end-of-file record", strError);
  memory.Merge(loaded);
  return true;
}

}  // namespace velda::sim
