// The virtual driver's tables of devices and open handles, and the checks every call makes on
// them. Inputs and outputs are kept alike, so the helpers here serve both lists of devices and
// both maps of handles; the driver's lock is held by the caller of each.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "midi/driver/midi_driver.h"

namespace velda {

struct CVirtualInOptions {
  bool bHeldElsewhere = false;        // another program holds it: every open gives MMSYSERR_ALLOCATED
  bool bConfirmOpen = true;           // MIM_OPEN is reported
  bool bConfirmClose = true;          // MIM_CLOSE is reported
  bool bCloseFails = false;           // midiInClose gives MMSYSERR_ERROR and the handle stays open
  bool bCapsFail = false;             // midiInGetDevCaps gives MMSYSERR_NODRIVER
  std::uint32_t nOpenConfirmMs = 0;   // 0: MIM_OPEN inside midiInOpen; else this much later
  std::uint32_t nCloseConfirmMs = 0;  // 0: MIM_CLOSE inside midiInClose; else this much later
  std::string strSystemName = {};     // the system's whole name ("client:port 20:0"); empty: none
};

struct CVirtualOutOptions {
  bool bHeldElsewhere = false;      // every open gives MMSYSERR_ALLOCATED
  bool bCapsFail = false;           // midiOutGetDevCaps gives MMSYSERR_NODRIVER
  bool bHoldMessages = false;       // each message stays with the driver (header not done) ...
  std::uint32_t nHoldMs = 0;        // ... for this long, or until ReleaseOutMessages when 0
  std::uint32_t nLongMsgLimit = 0;  // a longer midiOutLongMsg gives MMSYSERR_ERROR; 0: no limit
  std::string strSystemName = {};   // the system's whole name ("client:port 20:0"); empty: none
};

using FnVirtualOutSink = std::function<void(std::vector<BYTE>)>;

// A device, present or not; its id is its place in the driver's list.
struct CVirtualInDevice {
  std::string strName;
  CVirtualInOptions opt;
  bool bPresent = true;
  std::uint32_t nOpenHandle = 0;  // 0: not open
  std::uint64_t nDropped = 0;
};
struct CVirtualOutDevice {
  std::string strName;
  CVirtualOutOptions opt;
  bool bPresent = true;
  std::uint32_t nOpenHandle = 0;
  MMRESULT nFailNext = MMSYSERR_NOERROR;
  std::vector<std::vector<BYTE>> aMessages;
  FnVirtualOutSink fnSink;
};

// An open handle; a dead one belongs to a device that vanished.
struct CVirtualInHandle {
  int nDevice = 0;  // device id
  MIDIINPROC pfnCallback = nullptr;
  DWORD_PTR dwInstance = 0;
  DWORD fdwOpen = 0;
  bool bStarted = false;
  bool bDead = false;  // its device vanished
  std::uint64_t nStartTime = 0;
  std::deque<MIDIHDR*> aQueue;
  int nInFlight = 0;  // callbacks running from device events
  std::thread::id idInFlight;
};
struct CVirtualOutHandle {
  int nDevice = 0;
  bool bDead = false;
  std::vector<MIDIHDR*> aHeld;
};

namespace vmidi {

// Handles are numbers, never addresses: a stale handle finds nothing.
HMIDIIN ToInHandle(std::uint32_t n);
HMIDIOUT ToOutHandle(std::uint32_t n);
std::uint32_t FromHandle(const void* h);

bool IsHeaderArgOk(const MIDIHDR* pHdr, UINT cbHdr);

// A header the driver gives back: done and no longer queued.
void MarkDone(MIDIHDR& hdr);

// A header the driver takes: queued and not done.
void MarkQueued(MIDIHDR& hdr);

// The device with this id (its place in the list, present or not), or null.
template <class TDevices>
auto DeviceAt(TDevices& aDevices, int nId) -> decltype(&aDevices[0]) {
  if (nId < 0 || static_cast<std::size_t>(nId) >= aDevices.size()) {
    return nullptr;
  }
  return &aDevices[static_cast<std::size_t>(nId)];
}

// The device with this number: numbers count the devices present, in the order they were added.
template <class TDevices>
auto DeviceByNumber(TDevices& aDevices, UINT_PTR uNumber) -> decltype(&aDevices[0]) {
  UINT_PTR n = 0;
  for (auto& dev : aDevices) {
    if (dev.bPresent && n++ == uNumber) {
      return &dev;
    }
  }
  return nullptr;
}

// The header calls: a prepared header has a buffer; one still queued cannot be unprepared.
MMRESULT PrepareHeader(MIDIHDR* pHdr);
MMRESULT UnprepareHeader(MIDIHDR* pHdr);

// The capabilities of the device with this number: the checks and the fields common to inputs
// and outputs.
template <class TCaps, class TDevices>
MMRESULT GetCaps(TDevices& aDevices, UINT_PTR uDeviceId, TCaps* pCaps, UINT cbCaps) {
  if (pCaps == nullptr || cbCaps < sizeof(TCaps)) {
    return MMSYSERR_INVALPARAM;
  }
  const auto* pDev = DeviceByNumber(aDevices, uDeviceId);
  if (pDev == nullptr) {
    return MMSYSERR_BADDEVICEID;
  }
  if (pDev->opt.bCapsFail) {
    return MMSYSERR_NODRIVER;
  }
  *pCaps = TCaps{};
  pCaps->vDriverVersion = 0x0100;
  StringToPname(pDev->strName, pCaps->szPname);
  return MMSYSERR_NOERROR;
}

// A present device's whole system name, or empty; lock held.
template <class TDevices>
std::string SystemNameOf(const TDevices& aDevices, UINT_PTR uDeviceId) {
  const auto* pDev = DeviceByNumber(aDevices, uDeviceId);
  return pDev != nullptr ? pDev->opt.strSystemName : std::string();
}

// Marks the devices present or gone; fnKill(handle) makes the open handle of a device that goes
// dead. Returns whether any device changed.
template <class TDevice, class FnKill>
bool SetPresence(std::vector<TDevice>& aDevices, const std::vector<int>& aIds, bool bPresent, FnKill fnKill) {
  bool bChanged = false;
  for (const int nId : aIds) {
    TDevice* pDev = DeviceAt(aDevices, nId);
    if (pDev == nullptr || pDev->bPresent == bPresent) {
      continue;
    }
    pDev->bPresent = bPresent;
    bChanged = true;
    if (!bPresent && pDev->nOpenHandle != 0) {
      fnKill(pDev->nOpenHandle);
      pDev->nOpenHandle = 0;  // the device that comes back is a new one
    }
  }
  return bChanged;
}

// Whether the device can be opened: no other handle, and no other program, has it.
template <class TDevice>
MMRESULT CheckFree(const TDevice& dev) {
  return dev.opt.bHeldElsewhere || dev.nOpenHandle != 0 ? MMSYSERR_ALLOCATED : MMSYSERR_NOERROR;
}

// Records a new open handle of the device.
template <class TDevice, class THandle>
void AttachHandle(std::vector<TDevice>& aDevices, TDevice& dev, std::map<std::uint32_t, THandle>& handles,
                  std::uint32_t nHandle, THandle h) {
  h.nDevice = static_cast<int>(&dev - aDevices.data());
  handles[nHandle] = std::move(h);
  dev.nOpenHandle = nHandle;
}

// Forgets a closed handle; its device is free again unless it has come back since as a new one.
template <class TDevice, class THandle>
void DetachHandle(std::vector<TDevice>& aDevices, std::map<std::uint32_t, THandle>& handles, std::uint32_t nHandle,
                  int nDevice) {
  TDevice& dev = aDevices[static_cast<std::size_t>(nDevice)];
  if (dev.nOpenHandle == nHandle) {
    dev.nOpenHandle = 0;
  }
  handles.erase(nHandle);
}

template <class THandle>
THandle* FindHandle(std::map<std::uint32_t, THandle>& handles, const void* h, std::uint32_t* pnHandle) {
  const std::uint32_t n = FromHandle(h);
  const auto it = handles.find(n);
  if (it == handles.end()) {
    return nullptr;
  }
  if (pnHandle != nullptr) *pnHandle = n;
  return &it->second;
}

template <class THandle>
bool HasHandleOn(const std::map<std::uint32_t, THandle>& handles, int nDevice) {
  return std::any_of(handles.begin(), handles.end(),
                     [nDevice](const auto& kv) { return kv.second.nDevice == nDevice; });
}

// For calls that need the device: a handle that is not open, or whose device has vanished.
template <class THandle>
MMRESULT CheckLive(const THandle* pH) {
  if (pH == nullptr) {
    return MMSYSERR_INVALHANDLE;
  }
  return pH->bDead ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
}

// Prepare and unprepare, input and output alike: the arguments, the handle, then fnApply.
MMRESULT HeaderCall(bool bHandleOpen, MIDIHDR* pHdr, UINT cbHdr, MMRESULT (*pfnApply)(MIDIHDR*));

// Whether the driver can take the header (midiInAddBuffer, midiOutLongMsg): a live handle, and
// a header prepared, not queued already, with a buffer.
template <class THandle>
MMRESULT CheckHandOver(const THandle* pH, const MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) {
    return MMSYSERR_INVALPARAM;
  }
  if (const MMRESULT nResult = CheckLive(pH); nResult != MMSYSERR_NOERROR) {
    return nResult;
  }
  const DWORD dwFlags = LoadHeaderFlags(*pHdr);
  if ((dwFlags & MHDR_PREPARED) == 0) {
    return MIDIERR_UNPREPARED;
  }
  if ((dwFlags & MHDR_INQUEUE) != 0) {
    return MIDIERR_STILLPLAYING;
  }
  if (pHdr->lpData == nullptr || pHdr->dwBufferLength == 0) {
    return MMSYSERR_INVALPARAM;
  }
  return MMSYSERR_NOERROR;
}

// Gives back the headers an output device was holding: done.
void ReturnHeld(std::vector<MIDIHDR*>& aHeld);

}  // namespace vmidi

}  // namespace velda
