#include "midi/driver/winmm/winmm_midi_driver.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

#include "fw/trace.h"
// After the project's headers: <windows.h> defines macros that clash with the layer's names.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The multimedia API after <windows.h>, which it builds on.
#include <mmsystem.h>

namespace velda {

// Capabilities have the same layout on both sides and pass as they are.
static_assert(sizeof(velda::MIDIINCAPS) == sizeof(::MIDIINCAPSA));
static_assert(offsetof(velda::MIDIINCAPS, szPname) == offsetof(::MIDIINCAPSA, szPname));
static_assert(sizeof(velda::MIDIOUTCAPS) == sizeof(::MIDIOUTCAPSA));
static_assert(offsetof(velda::MIDIOUTCAPS, szPname) == offsetof(::MIDIOUTCAPSA, szPname));

struct CWinmmMidiDriver::CSystemHeader {
  ::MIDIHDR hdr{};  // first: the system hands back its address
  // Ours while prepared on a live handle; null after the unprepare or the handle's close.
  std::atomic<velda::MIDIHDR*> pOurs{nullptr};
  // Notices being handed on: whoever takes ours away waits until none is.
  std::atomic<int> nBusy{0};
  void* hOwner = nullptr;  // the handle it was prepared on
};

struct CWinmmMidiDriver::CInCallback {
  MIDIINPROC pfn = nullptr;
  DWORD_PTR dwInstance = 0;
};

namespace {

::HMIDIIN In(velda::HMIDIIN h) { return reinterpret_cast<::HMIDIIN>(h); }
::HMIDIOUT Out(velda::HMIDIOUT h) { return reinterpret_cast<::HMIDIOUT>(h); }

using CSystemHeader = CWinmmMidiDriver::CSystemHeader;

// The system header beside ours, kept in our reserved field; null before the first prepare.
CSystemHeader* ShadowOf(const velda::MIDIHDR* pHdr) { return reinterpret_cast<CSystemHeader*>(pHdr->reserved); }

// The system has finished with a block: its count and flags become ours (flags last: they
// release the block to the port).
void CopyBack(const ::MIDIHDR& sys, velda::MIDIHDR& ours) {
  ours.dwBytesRecorded = sys.dwBytesRecorded;
  StoreHeaderFlags(ours, static_cast<DWORD>(sys.dwFlags));
}

// Takes ours away from a system header; a notice being handed on is let finish first.
void Disown(CSystemHeader& sh) {
  sh.pOurs.store(nullptr);
  while (sh.nBusy.load() != 0) std::this_thread::yield();
}

// A done notice: the header of ours it stands for (counted busy until Release), or null for a late
// notice whose header is gone.
velda::MIDIHDR* Claim(CSystemHeader& sh) {
  sh.nBusy.fetch_add(1);
  velda::MIDIHDR* pOurs = sh.pOurs.load();
  if (pOurs == nullptr) sh.nBusy.fetch_sub(1);
  return pOurs;
}
void Release(CSystemHeader& sh) { sh.nBusy.fetch_sub(1); }

void CALLBACK OnSystemIn(::HMIDIIN hIn, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2) {
  const auto* pCb = reinterpret_cast<const CWinmmMidiDriver::CInCallback*>(dwInstance);
  if (pCb == nullptr || pCb->pfn == nullptr) return;
  if ((wMsg == MIM_LONGDATA || wMsg == MIM_LONGERROR) && dwParam1 != 0) {
    auto* pSh = reinterpret_cast<CSystemHeader*>(dwParam1);
    velda::MIDIHDR* pOurs = Claim(*pSh);
    if (pOurs == nullptr) return;
    CopyBack(pSh->hdr, *pOurs);
    pCb->pfn(reinterpret_cast<velda::HMIDIIN>(hIn), wMsg, pCb->dwInstance, reinterpret_cast<DWORD_PTR>(pOurs),
             dwParam2);
    Release(*pSh);
    return;
  }
  pCb->pfn(reinterpret_cast<velda::HMIDIIN>(hIn), wMsg, pCb->dwInstance, dwParam1, dwParam2);
}

void CALLBACK OnSystemOut(::HMIDIOUT /*hOut*/, UINT wMsg, DWORD_PTR /*dwInstance*/, DWORD_PTR dwParam1,
                          DWORD_PTR /*dwParam2*/) {
  if (wMsg != MOM_DONE || dwParam1 == 0) return;
  auto* pSh = reinterpret_cast<CSystemHeader*>(dwParam1);
  velda::MIDIHDR* pOurs = Claim(*pSh);
  if (pOurs == nullptr) return;
  CopyBack(pSh->hdr, *pOurs);
  Release(*pSh);
}

// The system's words for a result, from midiInGetErrorTextA or midiOutGetErrorTextA.
std::string ErrorText(MMRESULT(WINAPI* pfnGetText)(MMRESULT, LPSTR, UINT), MMRESULT r) {
  char sz[MAXERRORLENGTH] = {};
  if (pfnGetText(r, sz, sizeof sz) != MMSYSERR_NOERROR || sz[0] == '\0') {
    return "error " + std::to_string(r);
  }
  return std::string(sz) + " (error " + std::to_string(r) + ")";
}

// A refused input call leaves the port closed without a box: the trace keeps the system's reason.
MMRESULT TracedIn(const char* pszCall, MMRESULT r) {
  if (r != MMSYSERR_NOERROR) TraceNote(std::string(pszCall) + " failed: " + ErrorText(::midiInGetErrorTextA, r));
  return r;
}

}  // namespace

CWinmmMidiDriver::CWinmmMidiDriver() = default;
CWinmmMidiDriver::~CWinmmMidiDriver() = default;

CWinmmMidiDriver::CSystemHeader* CWinmmMidiDriver::MakeShadow(MIDIHDR* pHdr, void* hOwner) {
  // A system header left from a handle that died before its unprepare (the device went away) may
  // still be in that handle's queue: it is never reused, and this life gets a new one.
  auto p = std::make_unique<CSystemHeader>();
  p->hdr.lpData = pHdr->lpData;
  p->hdr.dwBufferLength = pHdr->dwBufferLength;
  p->hdr.dwUser = reinterpret_cast<DWORD_PTR>(pHdr);
  p->hOwner = hOwner;
  p->pOurs.store(pHdr);
  CSystemHeader* pRaw = p.get();
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_aShadows.push_back(std::move(p));
  }
  pHdr->reserved = reinterpret_cast<DWORD_PTR>(pRaw);
  return pRaw;
}

void CWinmmMidiDriver::DisownShadows(void* hOwner) {
  std::lock_guard<std::mutex> lock(m_mx);
  for (const auto& p : m_aShadows) {
    if (p->hOwner == hOwner) Disown(*p);
  }
}

std::size_t CWinmmMidiDriver::SystemHeaderCount() {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_aShadows.size();
}

namespace {

// The system header of ours when it is prepared on this handle, else null.
CSystemHeader* LiveShadow(MIDIHDR* pHdr, void* hOwner) {
  CSystemHeader* p = pHdr != nullptr ? ShadowOf(pHdr) : nullptr;
  return p != nullptr && p->hOwner == hOwner && p->pOurs.load() == pHdr ? p : nullptr;
}

}  // namespace

UINT CWinmmMidiDriver::InGetNumDevs() { return ::midiInGetNumDevs(); }

MMRESULT CWinmmMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  return ::midiInGetDevCapsA(uDeviceId, reinterpret_cast<::LPMIDIINCAPSA>(pCaps), cbCaps);
}

MMRESULT CWinmmMidiDriver::InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                                  DWORD fdwOpen) {
  auto pCb = std::make_unique<CInCallback>();
  if ((fdwOpen & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION) pCb->pfn = reinterpret_cast<MIDIINPROC>(dwCallback);
  pCb->dwInstance = dwInstance;
  ::HMIDIIN hSys = nullptr;
  const ::DWORD dwFlags = (fdwOpen & ~CALLBACK_TYPEMASK) | CALLBACK_FUNCTION;
  const MMRESULT r = ::midiInOpen(&hSys, uDeviceId, reinterpret_cast<DWORD_PTR>(&OnSystemIn),
                                  reinterpret_cast<DWORD_PTR>(pCb.get()), dwFlags);
  if (phMidiIn != nullptr) *phMidiIn = reinterpret_cast<HMIDIIN>(hSys);
  TracedIn("midiInOpen", r);
  if (r == MMSYSERR_NOERROR) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_inCallbacks[reinterpret_cast<HMIDIIN>(hSys)] = std::move(pCb);
  } else {
    pCb.release();  // the system may have called it already: kept, never freed
  }
  return r;
}

MMRESULT CWinmmMidiDriver::InStart(HMIDIIN hMidiIn) { return TracedIn("midiInStart", ::midiInStart(In(hMidiIn))); }
MMRESULT CWinmmMidiDriver::InStop(HMIDIIN hMidiIn) { return ::midiInStop(In(hMidiIn)); }
MMRESULT CWinmmMidiDriver::InReset(HMIDIIN hMidiIn) { return ::midiInReset(In(hMidiIn)); }

MMRESULT CWinmmMidiDriver::InClose(HMIDIIN hMidiIn) {
  const MMRESULT r = TracedIn("midiInClose", ::midiInClose(In(hMidiIn)));
  if (r == MMSYSERR_NOERROR) {
    std::lock_guard<std::mutex> lock(m_mx);
    auto it = m_inCallbacks.find(hMidiIn);
    if (it != m_inCallbacks.end()) {
      it->second.release();  // a late MIM_CLOSE may still read it
      m_inCallbacks.erase(it);
    }
  }
  if (r == MMSYSERR_NOERROR) DisownShadows(hMidiIn);
  return r;
}

MMRESULT CWinmmMidiDriver::InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT /*cbHdr*/) {
  if (pHdr == nullptr) return MMSYSERR_INVALPARAM;
  CSystemHeader* p = LiveShadow(pHdr, hMidiIn);
  // Prepared already, as a block given back from the callback is: nothing to do, as for the system.
  if (p != nullptr && (p->hdr.dwFlags & MHDR_PREPARED) != 0) return MMSYSERR_NOERROR;
  if (p == nullptr) p = MakeShadow(pHdr, hMidiIn);
  const MMRESULT r = TracedIn("midiInPrepareHeader", ::midiInPrepareHeader(In(hMidiIn), &p->hdr, sizeof(::MIDIHDR)));
  StoreHeaderFlags(*pHdr, static_cast<DWORD>(p->hdr.dwFlags));
  return r;
}

MMRESULT CWinmmMidiDriver::InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT /*cbHdr*/) {
  CSystemHeader* p = LiveShadow(pHdr, hMidiIn);
  if (p == nullptr) return MMSYSERR_INVALPARAM;
  const MMRESULT r =
      TracedIn("midiInUnprepareHeader", ::midiInUnprepareHeader(In(hMidiIn), &p->hdr, sizeof(::MIDIHDR)));
  StoreHeaderFlags(*pHdr, static_cast<DWORD>(p->hdr.dwFlags));
  if (r == MMSYSERR_NOERROR) Disown(*p);
  return r;
}

MMRESULT CWinmmMidiDriver::InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT /*cbHdr*/) {
  CSystemHeader* p = LiveShadow(pHdr, hMidiIn);
  if (p == nullptr) return MIDIERR_UNPREPARED;
  p->hdr.dwBufferLength = pHdr->dwBufferLength;
  p->hdr.dwBytesRecorded = 0;
  // Ours shows queued before the call: the callback may finish the block before it returns.
  StoreHeaderFlags(*pHdr, (LoadHeaderFlags(*pHdr) | MHDR_INQUEUE) & ~MHDR_DONE);
  const MMRESULT r = TracedIn("midiInAddBuffer", ::midiInAddBuffer(In(hMidiIn), &p->hdr, sizeof(::MIDIHDR)));
  if (r != MMSYSERR_NOERROR) StoreHeaderFlags(*pHdr, static_cast<DWORD>(p->hdr.dwFlags));
  return r;
}

UINT CWinmmMidiDriver::OutGetNumDevs() { return ::midiOutGetNumDevs(); }

MMRESULT CWinmmMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  return ::midiOutGetDevCapsA(uDeviceId, reinterpret_cast<::LPMIDIOUTCAPSA>(pCaps), cbCaps);
}

MMRESULT CWinmmMidiDriver::OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR /*dwCallback*/,
                                   DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
  // The system's done notice marks our header done; the port itself asks for no callback.
  ::HMIDIOUT hSys = nullptr;
  const ::DWORD dwFlags = (fdwOpen & ~CALLBACK_TYPEMASK) | CALLBACK_FUNCTION;
  const MMRESULT r = ::midiOutOpen(&hSys, uDeviceId, reinterpret_cast<DWORD_PTR>(&OnSystemOut), 0, dwFlags);
  if (phMidiOut != nullptr) *phMidiOut = reinterpret_cast<HMIDIOUT>(hSys);
  return r;
}

MMRESULT CWinmmMidiDriver::OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT /*cbHdr*/) {
  if (pHdr == nullptr) return MMSYSERR_INVALPARAM;
  CSystemHeader* p = LiveShadow(pHdr, hMidiOut);
  if (p == nullptr) p = MakeShadow(pHdr, hMidiOut);
  const MMRESULT r = ::midiOutPrepareHeader(Out(hMidiOut), &p->hdr, sizeof(::MIDIHDR));
  StoreHeaderFlags(*pHdr, static_cast<DWORD>(p->hdr.dwFlags));
  return r;
}

MMRESULT CWinmmMidiDriver::OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT /*cbHdr*/) {
  CSystemHeader* p = LiveShadow(pHdr, hMidiOut);
  if (p == nullptr) return MMSYSERR_INVALPARAM;
  const MMRESULT r = ::midiOutUnprepareHeader(Out(hMidiOut), &p->hdr, sizeof(::MIDIHDR));
  StoreHeaderFlags(*pHdr, static_cast<DWORD>(p->hdr.dwFlags));
  if (r == MMSYSERR_NOERROR) Disown(*p);
  return r;
}

MMRESULT CWinmmMidiDriver::OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT /*cbHdr*/) {
  CSystemHeader* p = LiveShadow(pHdr, hMidiOut);
  if (p == nullptr) return MIDIERR_UNPREPARED;
  p->hdr.lpData = pHdr->lpData;
  p->hdr.dwBufferLength = pHdr->dwBufferLength;
  // Ours shows not done before the call: the done notice may come before it returns.
  StoreHeaderFlags(*pHdr, LoadHeaderFlags(*pHdr) & ~MHDR_DONE);
  const MMRESULT r = ::midiOutLongMsg(Out(hMidiOut), &p->hdr, sizeof(::MIDIHDR));
  if (r != MMSYSERR_NOERROR) {
    StoreHeaderFlags(*pHdr, static_cast<DWORD>(p->hdr.dwFlags));
    // Some MIDI stacks refuse long messages above 2048 bytes, and a data packet is longer: say so
    // in the system's words, so that the later time-out has its cause in the trace.
    TraceNote("The MIDI driver refused a message of " + std::to_string(pHdr->dwBufferLength) +
              " bytes: " + ErrorText(::midiOutGetErrorTextA, r));
  }
  return r;
}

MMRESULT CWinmmMidiDriver::OutReset(HMIDIOUT hMidiOut) { return ::midiOutReset(Out(hMidiOut)); }
MMRESULT CWinmmMidiDriver::OutClose(HMIDIOUT hMidiOut) {
  const MMRESULT r = ::midiOutClose(Out(hMidiOut));
  if (r == MMSYSERR_NOERROR) DisownShadows(hMidiOut);
  return r;
}

}  // namespace velda
