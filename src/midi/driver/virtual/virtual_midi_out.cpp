// The output side of the virtual driver: the multimedia API's output calls.
#include "midi/driver/virtual/virtual_midi_driver.h"

#include <algorithm>
#include <string>

#include "fw/trace.h"

namespace velda {

using namespace vmidi;

// ---------------------------------------------------------------------------------------------
// Output API

UINT CVirtualMidiDriver::OutGetNumDevs() {
  std::lock_guard<std::mutex> lock(m_mx);
  return static_cast<UINT>(std::count_if(m_aOut.begin(), m_aOut.end(), [](const COutDevice& d) { return d.bPresent; }));
}

MMRESULT CVirtualMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  std::lock_guard<std::mutex> lock(m_mx);
  const MMRESULT nResult = GetCaps(m_aOut, uDeviceId, pCaps, cbCaps);
  if (nResult == MMSYSERR_NOERROR) {
    pCaps->wTechnology = 1;  // a MIDI port
    pCaps->wChannelMask = 0xFFFF;
  }
  return nResult;
}

MMRESULT CVirtualMidiDriver::OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR /*dwCallback*/,
                                     DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
  if (phMidiOut == nullptr) {
    return MMSYSERR_INVALPARAM;
  }
  *phMidiOut = nullptr;
  if ((fdwOpen & CALLBACK_TYPEMASK) != CALLBACK_NULL) {
    return MMSYSERR_INVALFLAG;  // these devices report nothing back on output
  }
  std::lock_guard<std::mutex> lock(m_mx);
  UINT uNumber = uDeviceId;
  if (uDeviceId == MIDI_MAPPER) {
    if (!m_bMapperAvailable) {
      return MIDIERR_NODEVICE;
    }
    uNumber = 0;
  }
  COutDevice* pDev = DeviceByNumber(m_aOut, uNumber);
  if (pDev == nullptr) {
    return uDeviceId == MIDI_MAPPER ? MIDIERR_NODEVICE : MMSYSERR_BADDEVICEID;
  }
  if (const MMRESULT nResult = CheckFree(*pDev); nResult != MMSYSERR_NOERROR) {
    return nResult;
  }
  const std::uint32_t n = m_nNextHandle++;
  AttachHandle(m_aOut, *pDev, m_outHandles, n, COutHandle{});
  *phMidiOut = ToOutHandle(n);
  return MMSYSERR_NOERROR;
}

MMRESULT CVirtualMidiDriver::OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  std::lock_guard<std::mutex> lock(m_mx);
  return HeaderCall(FindOut(hMidiOut) != nullptr, pHdr, cbHdr, PrepareHeader);
}

MMRESULT CVirtualMidiDriver::OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  std::lock_guard<std::mutex> lock(m_mx);
  return HeaderCall(FindOut(hMidiOut) != nullptr, pHdr, cbHdr, UnprepareHeader);
}

MMRESULT CVirtualMidiDriver::OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  FnOutSink fnSink;
  std::vector<BYTE> aMsg;
  std::uint32_t nHoldMs = 0;
  std::uint32_t nHandle = 0;
  bool bHold = false;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    COutHandle* pH = FindOut(hMidiOut, &nHandle);
    if (const MMRESULT nResult = CheckHandOver(pH, pHdr, cbHdr); nResult != MMSYSERR_NOERROR) {
      return nResult;
    }
    COutDevice& dev = m_aOut[static_cast<std::size_t>(pH->nDevice)];
    if (dev.nFailNext != MMSYSERR_NOERROR) {
      const MMRESULT nResult = dev.nFailNext;
      dev.nFailNext = MMSYSERR_NOERROR;
      return nResult;
    }
    if (dev.opt.nLongMsgLimit != 0 && pHdr->dwBufferLength > dev.opt.nLongMsgLimit) {
      TraceNote("The MIDI driver refused a message of " + std::to_string(pHdr->dwBufferLength) +
                " bytes: longer than its limit of " + std::to_string(dev.opt.nLongMsgLimit) + " bytes");
      return MMSYSERR_ERROR;
    }
    const BYTE* p = reinterpret_cast<const BYTE*>(pHdr->lpData);
    aMsg.assign(p, p + pHdr->dwBufferLength);
    if (m_bKeepOutMessages) {
      dev.aMessages.push_back(aMsg);
    }
    fnSink = dev.fnSink;
    bHold = dev.opt.bHoldMessages;
    nHoldMs = dev.opt.nHoldMs;
    if (bHold) {
      MarkQueued(*pHdr);
      pH->aHeld.push_back(pHdr);
    } else {
      // The message is copied: the header is done at once.
      MarkQueued(*pHdr);
      MarkDone(*pHdr);
    }
  }
  if (fnSink) {
    Schedule(0, [fnSink = std::move(fnSink), aMsg = std::move(aMsg)]() mutable { fnSink(std::move(aMsg)); });
  }
  if (bHold && nHoldMs != 0) {
    Schedule(nHoldMs, [this, nHandle, pHdr] { ReleaseHeld(nHandle, pHdr); });
  }
  return MMSYSERR_NOERROR;
}

void CVirtualMidiDriver::ReleaseHeld(std::uint32_t nHandle, MIDIHDR* pHdr) {
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_outHandles.find(nHandle);
  if (it == m_outHandles.end()) {
    return;
  }
  auto& aHeld = it->second.aHeld;
  const auto itHdr = std::find(aHeld.begin(), aHeld.end(), pHdr);
  if (itHdr != aHeld.end()) {
    MarkDone(**itHdr);
    aHeld.erase(itHdr);
  }
}

MMRESULT CVirtualMidiDriver::OutReset(HMIDIOUT hMidiOut) {
  std::lock_guard<std::mutex> lock(m_mx);
  COutHandle* pH = FindOut(hMidiOut);
  if (pH == nullptr) {
    return MMSYSERR_INVALHANDLE;
  }
  ReturnHeld(pH->aHeld);
  return MMSYSERR_NOERROR;
}

MMRESULT CVirtualMidiDriver::OutClose(HMIDIOUT hMidiOut) {
  std::lock_guard<std::mutex> lock(m_mx);
  std::uint32_t n = 0;
  COutHandle* pH = FindOut(hMidiOut, &n);
  if (pH == nullptr) {
    return MMSYSERR_INVALHANDLE;
  }
  if (!pH->aHeld.empty()) {
    return MIDIERR_STILLPLAYING;
  }
  DetachHandle(m_aOut, m_outHandles, n, pH->nDevice);
  return MMSYSERR_NOERROR;
}

}  // namespace velda
