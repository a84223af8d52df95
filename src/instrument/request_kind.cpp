#include "instrument/request_kind.h"

#include <array>

namespace velda::sim {
namespace {

struct CRequestInfo {
  EInstrumentRequest eRequest;
  CRequestCode code;
  std::string_view strName;
};

constexpr std::array<CRequestInfo, kInstrumentRequestKinds> kRequests = {{
    {EInstrumentRequest::Inquiry, {0x00, 0x02}, "inquiry"},
    {EInstrumentRequest::ModeOn, {0x00, 0x00}, "mode-on"},
    {EInstrumentRequest::ModeOff, {0x00, 0x01}, "mode-off"},
    {EInstrumentRequest::BaudUp, {0x05, 0x00}, "baud-up"},
    {EInstrumentRequest::BaudReset, {0x05, 0x01}, "baud-reset"},
    {EInstrumentRequest::SetDevice, {0x01, 0x01}, "set-device"},
    {EInstrumentRequest::BlockStart, {0x01, 0x02}, "block-start"},
    {EInstrumentRequest::DataPacket, {0x03, 0x00}, "data-packet"},
    {EInstrumentRequest::WriteBlock, {0x04, 0x01}, "write-block"},
    {EInstrumentRequest::BlockChecksum, {0x04, 0x02}, "block-checksum"},
    {EInstrumentRequest::AreaCheck, {0x03, 0x01}, "area-check"},
}};

const CRequestInfo& InfoOf(EInstrumentRequest eRequest) { return kRequests[static_cast<std::size_t>(eRequest)]; }

constexpr std::array<std::uint8_t, 5> kRequestHeader = {0xF0, 0x43, 0x50, 0x03, 0x00};

}  // namespace

CRequestCode RequestCode(EInstrumentRequest eRequest) { return InfoOf(eRequest).code; }

std::string_view RequestName(EInstrumentRequest eRequest) { return InfoOf(eRequest).strName; }

std::optional<EInstrumentRequest> RequestFromName(std::string_view strName) {
  for (const CRequestInfo& info : kRequests) {
    if (info.strName == strName) return info.eRequest;
  }
  return std::nullopt;
}

std::optional<EInstrumentRequest> ClassifyRequest(const std::uint8_t* p, std::size_t n) {
  if (p == nullptr || n < 8 || p[n - 1] != 0xF7) return std::nullopt;
  for (std::size_t i = 0; i < kRequestHeader.size(); ++i) {
    if (p[i] != kRequestHeader[i]) return std::nullopt;
  }
  // A status byte inside the message would have ended it on a real MIDI line.
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (p[i] >= 0x80) return std::nullopt;
  }
  for (const CRequestInfo& info : kRequests) {
    if (info.code.nGroup == p[5] && info.code.nCommand == p[6]) return info.eRequest;
  }
  return std::nullopt;
}

}  // namespace velda::sim
