#include "midi/driver/rtmidi/rtmidi_input.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "midi/driver/rtmidi/jack_client.h"

namespace velda::rtmidi {

namespace {

// The input whose callback this thread runs (so that giving a header back from inside the
// callback needs no look-up).
thread_local const CRtMidiInput* tl_pCallingBack = nullptr;

void MarkDone(MIDIHDR& hdr) { StoreHeaderFlags(hdr, (LoadHeaderFlags(hdr) & ~MHDR_INQUEUE) | MHDR_DONE); }

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr unsigned char kSysEx = 0xF0;
constexpr unsigned char kEndOfSysEx = 0xF7;
constexpr unsigned char kFirstRealtime = 0xF8;

}  // namespace

CRtMidiInput::CSpin::CSpin(std::atomic_flag& flag) : m_flag(flag) {
  while (m_flag.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

CRtMidiInput::CSpin::~CSpin() { m_flag.clear(std::memory_order_release); }

CRtMidiInput::CRtMidiInput(MIDIINPROC pfnCallback, DWORD_PTR dwInstance)
    : m_pfnCallback(pfnCallback), m_dwInstance(dwInstance), m_nStartNs(NowNs()) {}

CRtMidiInput::~CRtMidiInput() {
  Quiesce();
  Detach();
}

void CRtMidiInput::Attach(std::unique_ptr<RtMidiIn> pIn) {
  m_pIn = std::move(pIn);
  m_pIn->setCallback(&CRtMidiInput::OnRtMessage, this);
}

void CRtMidiInput::AttachJack(CJackClient* pClient, CJackPort* pPort) {
  m_pJack = pClient;
  m_pJackPort = pPort;
}

void CRtMidiInput::Detach() {
  // No cancelCallback(): RtMidi's thread reads the callback pointer without a lock, and a
  // message arriving while it is cleared calls a null function. The stopped flag already keeps
  // deliveries out; closing the client ends RtMidi's thread before this object goes.
  m_pIn.reset();
  if (m_pJack != nullptr) m_pJack->ClosePort(m_pJackPort);
  m_pJack = nullptr;
  m_pJackPort = nullptr;
}

void CRtMidiInput::ConfirmOpen() { Call(MIM_OPEN, 0); }

MMRESULT CRtMidiInput::Start() {
  m_nStartNs.store(NowNs());
  m_bStarted.store(true);
  return MMSYSERR_NOERROR;
}

MMRESULT CRtMidiInput::Stop() {
  Quiesce();
  return MMSYSERR_NOERROR;
}

MMRESULT CRtMidiInput::Reset() {
  Quiesce();
  // Taken out first: the callback gives each header back, into the ring, at once.
  std::array<MIDIHDR*, kRing> aReturned{};
  std::size_t n = 0;
  {
    const CSpin spin(m_ringBusy);
    while (m_nCount > 0) {
      aReturned[n++] = m_aRing[m_nHead];
      m_nHead = (m_nHead + 1) % kRing;
      --m_nCount;
    }
  }
  const CRtMidiInput* pOuter = tl_pCallingBack;
  tl_pCallingBack = this;
  for (std::size_t i = 0; i < n; ++i) {
    MarkDone(*aReturned[i]);
    Call(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(aReturned[i]));
  }
  tl_pCallingBack = pOuter;
  return MMSYSERR_NOERROR;
}

void CRtMidiInput::Close() {
  Quiesce();
  Detach();
  {
    const CSpin spin(m_ringBusy);
    for (std::size_t i = 0; i < m_nCount; ++i) {
      MIDIHDR* pHdr = m_aRing[(m_nHead + i) % kRing];
      StoreHeaderFlags(*pHdr, LoadHeaderFlags(*pHdr) & ~MHDR_INQUEUE);
    }
    m_nCount = 0;
  }
  Call(MIM_CLOSE, 0);
}

MMRESULT CRtMidiInput::AddBuffer(MIDIHDR* pHdr) {
  if ((LoadHeaderFlags(*pHdr) & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if ((LoadHeaderFlags(*pHdr) & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  pHdr->dwBytesRecorded = 0;
  const CSpin spin(m_ringBusy);
  if (m_nCount == kRing) return MMSYSERR_NOMEM;
  StoreHeaderFlags(*pHdr, (LoadHeaderFlags(*pHdr) & ~MHDR_DONE) | MHDR_INQUEUE);
  m_aRing[(m_nHead + m_nCount) % kRing] = pHdr;
  ++m_nCount;
  return MMSYSERR_NOERROR;
}

bool CRtMidiInput::IsCallingBackHere() const { return tl_pCallingBack == this; }

void CRtMidiInput::Quiesce() {
  m_bStarted.store(false);
  if (tl_pCallingBack == this) return;  // a stop from inside our own callback
  while (m_nBusy.load() != 0) std::this_thread::yield();
}

void CRtMidiInput::OnRtMessage(double /*dDelta*/, std::vector<unsigned char>* pMessage, void* pUser) {
  if (pMessage != nullptr) static_cast<CRtMidiInput*>(pUser)->Receive(pMessage->data(), pMessage->size());
}

void CRtMidiInput::OnJackBytes(const std::uint8_t* p, std::size_t n, void* pUser) {
  static_cast<CRtMidiInput*>(pUser)->Receive(p, n);
}

void CRtMidiInput::Receive(const unsigned char* p, std::size_t n) {
  m_nBusy.fetch_add(1);
  if (m_bStarted.load() && n != 0) {
    tl_pCallingBack = this;
    Deliver(p, n);
    tl_pCallingBack = nullptr;
  }
  m_nBusy.fetch_sub(1);
}

void CRtMidiInput::Deliver(const unsigned char* p, std::size_t n) {
  // A part that goes on with a system-exclusive message begins with a data byte (or its end);
  // a real-time byte between two parts is a message of its own and leaves the message open.
  const bool bLong = p[0] == kSysEx || (m_bInSysEx && p[0] < kFirstRealtime && (p[0] < 0x80 || p[0] == kEndOfSysEx));
  if (!bLong) {
    if (p[0] < kFirstRealtime) m_bInSysEx = false;  // any other status byte ends an open message
    DWORD dwMsg = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 3); ++i) dwMsg |= static_cast<DWORD>(p[i]) << (8 * i);
    Call(MIM_DATA, dwMsg);
    return;
  }
  const bool bEnds = std::memchr(p, kEndOfSysEx, n) != nullptr;
  m_bInSysEx = !bEnds;
  std::size_t nPos = 0;
  while (nPos < n) {
    MIDIHDR* pHdr = Front();
    if (pHdr == nullptr) {
      m_nDropped.fetch_add(n - nPos);
      return;
    }
    const std::size_t nRoom = pHdr->dwBufferLength - pHdr->dwBytesRecorded;
    const std::size_t nTake = std::min(nRoom, n - nPos);
    std::memcpy(pHdr->lpData + pHdr->dwBytesRecorded, p + nPos, nTake);
    pHdr->dwBytesRecorded += static_cast<DWORD>(nTake);
    nPos += nTake;
    if (pHdr->dwBytesRecorded == pHdr->dwBufferLength || (nPos == n && bEnds)) {
      PopFront();
      MarkDone(*pHdr);
      Call(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(pHdr));
    }
  }
}

MIDIHDR* CRtMidiInput::Front() {
  const CSpin spin(m_ringBusy);
  return m_nCount == 0 ? nullptr : m_aRing[m_nHead];
}

void CRtMidiInput::PopFront() {
  const CSpin spin(m_ringBusy);
  m_nHead = (m_nHead + 1) % kRing;
  --m_nCount;
}

void CRtMidiInput::Call(UINT wMsg, DWORD_PTR dwParam1) {
  if (m_pfnCallback != nullptr) m_pfnCallback(Handle(), wMsg, m_dwInstance, dwParam1, ElapsedMs());
}

DWORD CRtMidiInput::ElapsedMs() const { return static_cast<DWORD>((NowNs() - m_nStartNs.load()) / 1000000); }

}  // namespace velda::rtmidi
