#include "instrument/sim_instrument.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "instrument/reply_encoder.h"
#include "instrument/request_decoder.h"

namespace velda {
namespace {

using sim::kStatusAccepted;
using sim::kStatusRefused;
using sim::kStatusSendAgain;
using sim::StatusReply;

constexpr std::size_t kFixedRequestLen = 8;  // F0 43 50 03 00 group command F7

}  // namespace

CSimInstrument::CSimInstrument(const CInstrumentConfig& config, CInstrumentHost& host)
    : m_config(config), m_host(host) {
  if (m_config.pPresetMemory) m_memory.Merge(*m_config.pPresetMemory);
  for (const CUnsolicitedReply& reply : m_config.faultPlan.aUnsolicited) DeliverAfter(reply.nAtMs, reply.aBytes);
  if (m_config.pReplay) {
    for (const CReplayReply& reply : m_config.pReplay->aLeading) DeliverAfter(reply.nDelayMs, reply.aBytes);
  }
}

CSimInstrument::~CSimInstrument() = default;

void CSimInstrument::OnMessage(const std::uint8_t* p, std::size_t n) {
  if (!m_bPresent) {
    ++m_stats.nIgnoredAbsent;
    return;
  }
  if (m_config.pReplay) {
    OnReplay(p, n);
    return;
  }
  const std::optional<EInstrumentRequest> eRequest = sim::ClassifyRequest(p, n);
  if (!eRequest) {
    ++m_stats.nIgnored;
    return;
  }
  m_nRequestBytes = n;
  const std::uint32_t nOccurrence = ++m_stats.aReceived[static_cast<std::size_t>(*eRequest)];
  if (*eRequest == EInstrumentRequest::DataPacket && std::exchange(m_bResendAsked, false)) ++m_stats.nPacketsResent;
  const EInstrumentFault eFault = m_config.faultPlan.FaultFor(*eRequest, nOccurrence);
  if (eFault != EInstrumentFault::None) ++m_stats.nFaultsApplied;
  // Faults that replace the answer also skip the action, so the installer's next move (a resend,
  // a time-out) meets an instrument in the state it expects.
  switch (eFault) {
    case EInstrumentFault::NeverReturn:
      Restart(false);
      return;
    case EInstrumentFault::NoReply:
      return;
    case EInstrumentFault::Vanish:
      Restart(true);
      return;
    case EInstrumentFault::Refuse:
      Send(StatusReply(*eRequest, kStatusRefused), EInstrumentFault::None);
      return;
    case EInstrumentFault::Status02:
      if (*eRequest == EInstrumentRequest::DataPacket) {
        ++m_stats.nResendsAsked;
        m_bResendAsked = true;
      }
      Send(StatusReply(*eRequest, kStatusSendAgain), EInstrumentFault::None);
      return;
    default:
      break;
  }
  Send(Act(*eRequest, p, n), eFault);
  if (eFault == EInstrumentFault::SpoilStored && *eRequest == EInstrumentRequest::BlockChecksum) SpoilBlock(p, n);
}

void CSimInstrument::SpoilBlock(const std::uint8_t* p, std::size_t n) {
  const std::optional<sim::CBlockChecksum> check = sim::DecodeBlockChecksum(p, n);
  if (!check || check->nLength == 0) return;
  CSparseMemory& bank = m_memory.Device(m_nDevice);
  const std::uint32_t nAddress = check->nAddress + check->nLength / 2;
  bank.WriteByte(nAddress, static_cast<std::uint8_t>(~bank.Read(nAddress)));
}

std::uint32_t CSimInstrument::LinkMs(std::size_t nBytes) {
  if (m_config.nRateBytesPerMs == 0) return 0;
  m_dLinkCarry += static_cast<double>(nBytes) / m_config.nRateBytesPerMs;
  const auto nMs = static_cast<std::uint32_t>(m_dLinkCarry);
  m_dLinkCarry -= nMs;
  return nMs;
}

void CSimInstrument::OnReplay(const std::uint8_t* p, std::size_t n) {
  const std::vector<CReplayExchange>& aExchanges = m_config.pReplay->aExchanges;
  if (!m_strReplayMismatch.empty()) {
    ++m_stats.nReplayUnanswered;
    return;
  }
  const std::vector<std::uint8_t> aGot(p, p + n);
  if (m_nReplayPos >= aExchanges.size() || aExchanges[m_nReplayPos].aRequest != aGot) {
    const std::string strGot = "got " + TraceBytesText(aGot);
    m_strReplayMismatch =
        m_nReplayPos >= aExchanges.size()
            ? "replay: request " + std::to_string(m_nReplayPos + 1) + " comes after the end of the recording; " + strGot
            : "replay: request " + std::to_string(m_nReplayPos + 1) + " differs from the recording (trace line " +
                  std::to_string(aExchanges[m_nReplayPos].nLine) + "): expected " +
                  TraceBytesText(aExchanges[m_nReplayPos].aRequest) + ", " + strGot;
    std::fprintf(stderr, "%s\n", m_strReplayMismatch.c_str());
    ++m_stats.nReplayUnanswered;
    return;
  }
  const CReplayExchange& exchange = aExchanges[m_nReplayPos++];
  ++m_stats.nReplayMatched;
  for (const CReplayReply& reply : exchange.aReplies) DeliverAfter(reply.nDelayMs, reply.aBytes);
  // The recording holds no presence changes: a mode on left unanswered and sent again, outside
  // update mode, is the instrument restarting into update mode, as it does on a real mode on.
  const std::optional<EInstrumentRequest> eRequest = sim::ClassifyRequest(p, n);
  if (eRequest == EInstrumentRequest::ModeOff) m_bUpdateMode = false;
  if (eRequest == EInstrumentRequest::ModeOn && !m_bUpdateMode && exchange.aReplies.empty() &&
      m_config.bRestartOnModeOn && m_nReplayPos < aExchanges.size() && aExchanges[m_nReplayPos].aRequest == aGot) {
    Restart(true);
  }
}

std::vector<std::uint8_t> CSimInstrument::Act(EInstrumentRequest eRequest, const std::uint8_t* p, std::size_t n) {
  switch (eRequest) {
    case EInstrumentRequest::Inquiry:
      // An inquiry reply has no status to refuse with: a malformed inquiry goes unanswered.
      if (n != kFixedRequestLen) {
        ++m_stats.nMalformed;
        return {};
      }
      return sim::InquiryReply(m_config.strInquiryText);
    case EInstrumentRequest::ModeOn:
      return OnModeOn(p, n);
    case EInstrumentRequest::ModeOff:
      if (n != kFixedRequestLen) return Malformed(eRequest);
      m_bUpdateMode = false;
      m_block = CPendingBlock{};
      m_written = CWrittenBlock{};
      return StatusReply(eRequest, kStatusAccepted);
    case EInstrumentRequest::BaudUp:
    case EInstrumentRequest::BaudReset:
      if (n != kFixedRequestLen) return Malformed(eRequest);
      m_bFastBaud = eRequest == EInstrumentRequest::BaudUp;
      return StatusReply(eRequest, kStatusAccepted);
    default:
      break;
  }
  if (!m_bUpdateMode) {
    ++m_stats.nRefusedOutsideUpdateMode;
    return StatusReply(eRequest, kStatusRefused);
  }
  switch (eRequest) {
    case EInstrumentRequest::SetDevice:
      return OnSetDevice(p, n);
    case EInstrumentRequest::BlockStart:
      return OnBlockStart(p, n);
    case EInstrumentRequest::DataPacket:
      return OnDataPacket(p, n);
    case EInstrumentRequest::WriteBlock:
      return OnWriteBlock(n);
    case EInstrumentRequest::BlockChecksum:
      return OnBlockChecksum(p, n);
    case EInstrumentRequest::AreaCheck:
      return OnAreaCheck(p, n);
    default:
      return {};
  }
}

std::vector<std::uint8_t> CSimInstrument::OnModeOn(const std::uint8_t* p, std::size_t n) {
  const std::string_view strKeyword(reinterpret_cast<const char*>(p + 7), n - kFixedRequestLen);
  if (strKeyword != m_config.strKeyword) {
    ++m_stats.nWrongKeywords;
    return StatusReply(EInstrumentRequest::ModeOn, kStatusRefused);
  }
  if (!m_bUpdateMode && m_config.bRestartOnModeOn) {
    // The real instrument reboots into its loader and answers only a mode on sent afterwards.
    Restart(true);
    return {};
  }
  m_bUpdateMode = true;
  return StatusReply(EInstrumentRequest::ModeOn, kStatusAccepted);
}

std::vector<std::uint8_t> CSimInstrument::OnSetDevice(const std::uint8_t* p, std::size_t n) {
  const std::optional<std::uint8_t> nDevice = sim::DecodeSetDevice(p, n);
  if (!nDevice) return Malformed(EInstrumentRequest::SetDevice);
  m_nDevice = *nDevice;
  m_written = CWrittenBlock{};  // a block checksum names a block of the selected bank
  return StatusReply(EInstrumentRequest::SetDevice, kStatusAccepted);
}

std::vector<std::uint8_t> CSimInstrument::OnBlockStart(const std::uint8_t* p, std::size_t n) {
  const std::optional<sim::CBlockStart> block = sim::DecodeBlockStart(p, n);
  // A block of no bytes is never started: the sender ends its upload instead.
  if (!block || block->nLength == 0) return Malformed(EInstrumentRequest::BlockStart);
  if (m_block.bOpen) ++m_stats.nBlocksAbandoned;
  m_block = CPendingBlock{};
  m_written = CWrittenBlock{};
  m_block.bOpen = true;
  m_block.nAddress = block->nAddress;
  m_block.nLength = block->nLength;
  m_bResendAsked = false;
  return StatusReply(EInstrumentRequest::BlockStart, kStatusAccepted);
}

std::vector<std::uint8_t> CSimInstrument::OnDataPacket(const std::uint8_t* p, std::size_t n) {
  const sim::CDataPacket packet = sim::DecodeDataPacket(p, n);
  switch (packet.eResult) {
    case sim::EPacketResult::BadChecksum:
      ++m_stats.nBadPacketChecksums;
      ++m_stats.nResendsAsked;
      m_bResendAsked = true;
      return StatusReply(EInstrumentRequest::DataPacket, kStatusSendAgain);
    case sim::EPacketResult::Malformed:
      return Malformed(EInstrumentRequest::DataPacket);
    case sim::EPacketResult::Ok:
      break;
  }
  // Packets follow each other without gaps or overlaps, each within the block; a packet whose
  // data ended early still moves the next offset on by its planned length.
  if (!m_block.bOpen || packet.nOffset != m_block.nNextOffset ||
      std::uint64_t{packet.nOffset} + packet.nPlanned > m_block.nLength) {
    return OutOfSequence(EInstrumentRequest::DataPacket);
  }
  // Every packet carries the protocol's size but the block's last, which carries the rest.
  const bool bLast = std::uint64_t{packet.nOffset} + packet.nPlanned == m_block.nLength;
  if (packet.nPlanned == 0 || packet.nPlanned > m_config.nPacketSize ||
      (!bLast && packet.nPlanned != m_config.nPacketSize)) {
    return Refused(EInstrumentRequest::DataPacket, m_stats.nBadPacketSizes);
  }
  m_block.data.Write(packet.nOffset, packet.aData.data(), packet.aData.size());
  m_block.nNextOffset += packet.nPlanned;
  m_block.nReceived += packet.aData.size();
  for (const std::uint8_t b : packet.aData) m_block.nSum += b;
  ++m_stats.nPacketsStored;
  m_stats.nBytesStored += packet.aData.size();
  return StatusReply(EInstrumentRequest::DataPacket, kStatusAccepted);
}

std::vector<std::uint8_t> CSimInstrument::OnWriteBlock(std::size_t n) {
  if (n != kFixedRequestLen) return Malformed(EInstrumentRequest::WriteBlock);
  if (!m_block.bOpen) return OutOfSequence(EInstrumentRequest::WriteBlock);
  if (m_block.nNextOffset != m_block.nLength) return Refused(EInstrumentRequest::WriteBlock, m_stats.nIncompleteWrites);
  CSparseMemory& bank = m_memory.Device(m_nDevice);
  const std::uint32_t nBase = m_block.nAddress;
  m_block.data.ForEachRun([&bank, nBase](std::uint32_t nOffset, const std::uint8_t* pData, std::size_t nLen) {
    bank.Write(nBase + nOffset, pData, nLen);
  });
  m_written.bValid = true;
  m_written.nAddress = m_block.nAddress;
  m_written.nLength = m_block.nLength;
  m_written.bWhole = m_block.nReceived == m_block.nLength;
  m_written.nSum = m_block.nSum;
  m_block = CPendingBlock{};
  ++m_stats.nBlocksWritten;
  return StatusReply(EInstrumentRequest::WriteBlock, kStatusAccepted);
}

std::vector<std::uint8_t> CSimInstrument::OnBlockChecksum(const std::uint8_t* p, std::size_t n) {
  const std::optional<sim::CBlockChecksum> check = sim::DecodeBlockChecksum(p, n);
  if (!check) return Malformed(EInstrumentRequest::BlockChecksum);
  if (check->nLength == 0) return Refused(EInstrumentRequest::BlockChecksum, m_stats.nEmptyChecksums);
  if (!m_written.bValid || check->nAddress != m_written.nAddress || check->nLength != m_written.nLength) {
    return Refused(EInstrumentRequest::BlockChecksum, m_stats.nChecksumsMisnamed);
  }
  // Judged from the bytes this block received, not from memory that may hold them from before.
  const bool bMatch = m_written.bWhole && (m_written.nSum & 0xFFFF) == check->nSum;
  if (bMatch) {
    ++m_stats.nChecksumsMatched;
  } else {
    ++m_stats.nChecksumsFailed;
  }
  return StatusReply(EInstrumentRequest::BlockChecksum, bMatch ? kStatusAccepted : kStatusRefused);
}

std::vector<std::uint8_t> CSimInstrument::OnAreaCheck(const std::uint8_t* p, std::size_t n) {
  const std::optional<sim::CAreaCheck> check = sim::DecodeAreaCheck(p, n);
  if (!check) return Malformed(EInstrumentRequest::AreaCheck);
  const std::vector<std::uint8_t> aBytes = ReadRange(m_nDevice, check->nAddress, check->nLength);
  return sim::AreaReply(aBytes.data(), aBytes.size());
}

std::vector<std::uint8_t> CSimInstrument::Malformed(EInstrumentRequest eRequest) {
  ++m_stats.nMalformed;
  return StatusReply(eRequest, kStatusRefused);
}

std::vector<std::uint8_t> CSimInstrument::OutOfSequence(EInstrumentRequest eRequest) {
  ++m_stats.nOutOfSequence;
  return StatusReply(eRequest, kStatusRefused);
}

std::vector<std::uint8_t> CSimInstrument::Refused(EInstrumentRequest eRequest, std::uint32_t& nCounter) {
  ++nCounter;
  return StatusReply(eRequest, kStatusRefused);
}

void CSimInstrument::Send(std::vector<std::uint8_t> aReply, EInstrumentFault eFault) {
  if (aReply.empty()) return;
  const std::uint32_t nLatency = m_config.nLatencyMs + LinkMs(m_nRequestBytes + aReply.size());
  switch (eFault) {
    case EInstrumentFault::CorruptReply:
      sim::CorruptReply(aReply);
      break;
    case EInstrumentFault::ForeignReply:
      sim::MakeForeign(aReply);
      break;
    case EInstrumentFault::DoubleReply: {
      const std::size_t nLen = aReply.size();
      aReply.reserve(2 * nLen);
      for (std::size_t i = 0; i < nLen; ++i) aReply.push_back(aReply[i]);
      break;
    }
    case EInstrumentFault::LateReply:
      DeliverAfter(nLatency + m_config.faultPlan.nLateMs, std::move(aReply));
      return;
    case EInstrumentFault::SplitReply: {
      const auto itMiddle = aReply.begin() + static_cast<std::ptrdiff_t>(aReply.size() / 2);
      DeliverAfter(nLatency, std::vector<std::uint8_t>(aReply.begin(), itMiddle));
      DeliverAfter(nLatency + m_config.faultPlan.nSplitGapMs, std::vector<std::uint8_t>(itMiddle, aReply.end()));
      return;
    }
    default:
      break;
  }
  DeliverAfter(nLatency, std::move(aReply));
}

void CSimInstrument::DeliverAfter(std::uint32_t nDelayMs, std::vector<std::uint8_t> aBytes) {
  std::weak_ptr<int> pAlive = m_pAlive;
  m_host.Schedule(nDelayMs, [this, pAlive, aBytes = std::move(aBytes)]() {
    if (pAlive.expired()) return;
    if (!m_bPresent) {
      ++m_stats.nDroppedAbsent;
      return;
    }
    ++m_stats.nDeliveries;
    m_host.Deliver(aBytes);
  });
}

void CSimInstrument::Restart(bool bReturn) {
  // What lives in RAM is lost; the memory banks are flash and stay.
  m_bPresent = false;
  m_bUpdateMode = false;
  m_bFastBaud = false;
  m_bResendAsked = false;
  m_nDevice = 0;
  m_block = CPendingBlock{};
  m_written = CWrittenBlock{};
  m_host.SetPresent(false);
  if (!bReturn) return;
  ++m_stats.nRestarts;
  std::weak_ptr<int> pAlive = m_pAlive;
  m_host.Schedule(m_config.nRestartMs, [this, pAlive]() {
    if (pAlive.expired()) return;
    m_bPresent = true;
    m_bUpdateMode = true;
    m_host.SetPresent(true);
  });
}

std::uint8_t CSimInstrument::ReadByte(std::uint8_t nDevice, std::uint32_t nAddress) const {
  const CSparseMemory* pBank = m_memory.FindDevice(nDevice);
  return pBank != nullptr ? pBank->Read(nAddress) : CSparseMemory::kErased;
}

std::vector<std::uint8_t> CSimInstrument::ReadRange(std::uint8_t nDevice, std::uint32_t nAddress, std::size_t n) const {
  std::vector<std::uint8_t> a(n, CSparseMemory::kErased);
  if (const CSparseMemory* pBank = m_memory.FindDevice(nDevice)) pBank->Read(nAddress, a.data(), n);
  return a;
}

bool CSimInstrument::WasWritten(std::uint8_t nDevice, std::uint32_t nAddress) const {
  const CSparseMemory* pBank = m_memory.FindDevice(nDevice);
  return pBank != nullptr && pBank->IsWritten(nAddress);
}

bool CSimInstrument::LoadHexFolder(const std::string& strDir, std::string& strError) {
  return ::velda::LoadHexFolder(strDir, m_memory, strError);
}

bool CSimInstrument::DumpHexFolder(const std::string& strDir, std::string& strError) const {
  return ::velda::DumpHexFolder(strDir, m_memory, strError);
}

}  // namespace velda
