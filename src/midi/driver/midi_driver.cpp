#include "midi/driver/midi_driver.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace velda {

namespace {

std::atomic<CMidiDriver*> g_pDriver{nullptr};

// Never destroyed: a driver thread may still touch the memory while the process ends.
struct CKeptMemory {
  std::mutex mx;
  std::vector<std::unique_ptr<MIDIHDR>> aHdr;
  std::vector<std::unique_ptr<BYTE[]>> aBuf;
};
CKeptMemory& Kept() {
  static CKeptMemory* pKept = new CKeptMemory;
  return *pKept;
}

}  // namespace

void SetMidiDriver(CMidiDriver* pDriver) { g_pDriver.store(pDriver); }

CMidiDriver* GetMidiDriver() { return g_pDriver.load(); }

UINT midiInGetNumDevs() {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InGetNumDevs() : 0;
}

MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InGetDevCaps(uDeviceId, pCaps, cbCaps) : MMSYSERR_NODRIVER;
}

MMRESULT midiInOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen) {
  CMidiDriver* p = GetMidiDriver();
  if (p == nullptr) {
    if (phMidiIn != nullptr) *phMidiIn = nullptr;
    return MMSYSERR_NODRIVER;
  }
  return p->InOpen(phMidiIn, uDeviceId, dwCallback, dwInstance, fdwOpen);
}

MMRESULT midiInStart(HMIDIIN hMidiIn) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InStart(hMidiIn) : MMSYSERR_NODRIVER;
}

MMRESULT midiInStop(HMIDIIN hMidiIn) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InStop(hMidiIn) : MMSYSERR_NODRIVER;
}

MMRESULT midiInReset(HMIDIIN hMidiIn) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InReset(hMidiIn) : MMSYSERR_NODRIVER;
}

MMRESULT midiInClose(HMIDIIN hMidiIn) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InClose(hMidiIn) : MMSYSERR_NODRIVER;
}

MMRESULT midiInPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InPrepareHeader(hMidiIn, pHdr, cbHdr) : MMSYSERR_NODRIVER;
}

MMRESULT midiInUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InUnprepareHeader(hMidiIn, pHdr, cbHdr) : MMSYSERR_NODRIVER;
}

MMRESULT midiInAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InAddBuffer(hMidiIn, pHdr, cbHdr) : MMSYSERR_NODRIVER;
}

UINT midiOutGetNumDevs() {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutGetNumDevs() : 0;
}

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutGetDevCaps(uDeviceId, pCaps, cbCaps) : MMSYSERR_NODRIVER;
}

MMRESULT midiOutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen) {
  CMidiDriver* p = GetMidiDriver();
  if (p == nullptr) {
    if (phMidiOut != nullptr) *phMidiOut = nullptr;
    return MMSYSERR_NODRIVER;
  }
  return p->OutOpen(phMidiOut, uDeviceId, dwCallback, dwInstance, fdwOpen);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutPrepareHeader(hMidiOut, pHdr, cbHdr) : MMSYSERR_NODRIVER;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutUnprepareHeader(hMidiOut, pHdr, cbHdr) : MMSYSERR_NODRIVER;
}

MMRESULT midiOutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutLongMsg(hMidiOut, pHdr, cbHdr) : MMSYSERR_NODRIVER;
}

MMRESULT midiOutReset(HMIDIOUT hMidiOut) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutReset(hMidiOut) : MMSYSERR_NODRIVER;
}

MMRESULT midiOutClose(HMIDIOUT hMidiOut) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutClose(hMidiOut) : MMSYSERR_NODRIVER;
}

// The ports read a header's flags on their own thread while the driver may be finishing it. The
// compiler's atomic built-ins rather than std::atomic_ref, which not every standard library the
// project is built with has (the browser edition's libc++ 14 has none).
DWORD LoadHeaderFlags(const MIDIHDR& hdr) { return __atomic_load_n(&hdr.dwFlags, __ATOMIC_ACQUIRE); }

void StoreHeaderFlags(MIDIHDR& hdr, DWORD dwFlags) { __atomic_store_n(&hdr.dwFlags, dwFlags, __ATOMIC_RELEASE); }

void KeepForDriver(std::unique_ptr<MIDIHDR> pHdr, std::unique_ptr<BYTE[]> pBuf) {
  CKeptMemory& kept = Kept();
  std::lock_guard<std::mutex> lock(kept.mx);
  if (pHdr != nullptr) kept.aHdr.push_back(std::move(pHdr));
  if (pBuf != nullptr) kept.aBuf.push_back(std::move(pBuf));
}

std::size_t KeptForDriverCount() {
  CKeptMemory& kept = Kept();
  std::lock_guard<std::mutex> lock(kept.mx);
  return kept.aHdr.size() + kept.aBuf.size();
}

fw::CString PnameToString(const char (&szPname)[MAXPNAMELEN]) {
  std::size_t n = 0;
  while (n < MAXPNAMELEN && szPname[n] != '\0') {
    ++n;
  }
  return fw::CString(szPname, n);
}

void StringToPname(const std::string& strName, char (&szPname)[MAXPNAMELEN]) {
  std::memset(szPname, 0, MAXPNAMELEN);
  const std::size_t n = strName.size() < MAXPNAMELEN - 1 ? strName.size() : MAXPNAMELEN - 1;
  std::memcpy(szPname, strName.data(), n);
}

std::string MidiInSystemName(UINT uDeviceId) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->InSystemName(uDeviceId) : std::string();
}

std::string MidiOutSystemName(UINT uDeviceId) {
  CMidiDriver* p = GetMidiDriver();
  return p != nullptr ? p->OutSystemName(uDeviceId) : std::string();
}

int FindMidiInDevice(const std::string& strName) {
  const UINT nCount = midiInGetNumDevs();
  for (UINT i = 0; i < nCount; ++i) {
    MIDIINCAPS caps;
    if (midiInGetDevCapsA(i, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
      continue;
    }
    if (PnameToString(caps.szPname).Str() == strName) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int FindMidiOutDevice(const std::string& strName) {
  const UINT nCount = midiOutGetNumDevs();
  for (UINT i = 0; i < nCount; ++i) {
    MIDIOUTCAPS caps;
    if (midiOutGetDevCapsA(i, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
      continue;
    }
    if (PnameToString(caps.szPname).Str() == strName) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace velda
