#include "instrument/reply_encoder.h"

#include "instrument/sysex_fields.h"

namespace velda::sim {
namespace {

constexpr std::size_t kBody = 7;  // offset of the status, the text or the packed data

std::vector<std::uint8_t> ReplyHead(EInstrumentRequest eRequest) {
  const CRequestCode code = RequestCode(eRequest);
  return {0xF0, 0x43, 0x50, 0x03, 0x00, code.nGroup, static_cast<std::uint8_t>(0x40 | code.nCommand)};
}

bool IsReplyTo(const std::vector<std::uint8_t>& a, EInstrumentRequest eRequest) {
  const CRequestCode code = RequestCode(eRequest);
  return a.size() > 6 && a[5] == code.nGroup && a[6] == (0x40 | code.nCommand);
}

void Flip(std::uint8_t& b) { b = static_cast<std::uint8_t>(b ^ 0x7F); }

}  // namespace

std::vector<std::uint8_t> StatusReply(EInstrumentRequest eRequest, std::uint8_t nStatus) {
  std::vector<std::uint8_t> a = ReplyHead(eRequest);
  a.push_back(static_cast<std::uint8_t>(nStatus & 0x7F));
  a.push_back(0xF7);
  return a;
}

std::vector<std::uint8_t> InquiryReply(std::string_view strText) {
  std::vector<std::uint8_t> a = ReplyHead(EInstrumentRequest::Inquiry);
  for (const char c : strText) a.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) & 0x7F));
  a.push_back(0xF7);
  return a;
}

std::vector<std::uint8_t> AreaReply(const std::uint8_t* p, std::size_t n) {
  std::vector<std::uint8_t> a = ReplyHead(EInstrumentRequest::AreaCheck);
  a.reserve(kBody + PackedSize(n) + 2);
  if (n > 0) {
    AppendPacked(p, n, a);
    a.push_back(AreaChecksum(a.data() + kBody, a.size() - kBody));
  }
  a.push_back(0xF7);
  return a;
}

std::uint8_t AreaChecksum(const std::uint8_t* pPacked, std::size_t n) {
  unsigned nSum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i % 8 != 0) nSum += pPacked[i];
  }
  return static_cast<std::uint8_t>((128 - (nSum & 0x7F)) & 0x7F);
}

void CorruptReply(std::vector<std::uint8_t>& aReply) {
  if (aReply.size() < 8) return;
  // XOR with 7F keeps the byte below 80 and changes a data byte by an odd amount, so an area
  // reply's 7-bit checksum always fails.
  const std::size_t nLast = aReply.size() - 1;  // the F7
  if (IsReplyTo(aReply, EInstrumentRequest::AreaCheck) && kBody + 1 < nLast) {
    Flip(aReply[kBody + 1]);
  } else if (kBody < nLast) {
    Flip(aReply[kBody]);
  } else {
    Flip(aReply[4]);
  }
}

void MakeForeign(std::vector<std::uint8_t>& aReply) {
  if (aReply.size() > 1) aReply[1] = kForeignManufacturer;
}

}  // namespace velda::sim
