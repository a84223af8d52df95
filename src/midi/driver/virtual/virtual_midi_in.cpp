// The input side of the virtual driver: deliveries to the open handles and the multimedia API's
// input calls.
#include "midi/driver/virtual/virtual_midi_driver.h"

#include <algorithm>
#include <cstring>

namespace velda {

using namespace vmidi;

namespace {

// How many of the bytes from nPos go into one block of nCapacity bytes: up to a full block,
// ending early after an F7 so that each message ends its block, as drivers return them.
std::size_t BlockFill(const std::vector<BYTE>& aBytes, std::size_t nPos, std::size_t nCapacity) {
  std::size_t n = 0;
  while (nPos + n < aBytes.size() && n < nCapacity) {
    ++n;
    if (aBytes[nPos + n - 1] == 0xF7) {
      break;
    }
  }
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Deliveries to the installer

CVirtualMidiDriver::CInHandle* CVirtualMidiDriver::ReceivingHandle(int nId, std::uint32_t& nHandle) {
  const CInDevice* pDev = DeviceAt(m_aIn, nId);
  if (pDev == nullptr || !pDev->bPresent || pDev->nOpenHandle == 0) {
    return nullptr;
  }
  CInHandle& h = m_inHandles[pDev->nOpenHandle];
  if (!h.bStarted || h.bDead) {
    return nullptr;
  }
  nHandle = pDev->nOpenHandle;
  return &h;
}

void CVirtualMidiDriver::RunInject(int nId, EInject eKind, const std::vector<BYTE>& aBytes, DWORD dwMsg) {
  switch (eKind) {
    case EInject::Bytes:
      DeliverBlocks(nId, aBytes, MIM_LONGDATA);
      return;
    case EInject::LongError:
      DeliverBlocks(nId, aBytes, MIM_LONGERROR);
      return;
    case EInject::EmptyBlock:
      DeliverBlocks(nId, {}, MIM_LONGDATA);
      return;
    case EInject::Short:
    case EInject::MoreData:
    case EInject::Error:
      break;
  }
  std::uint32_t nHandle = 0;
  CCall call;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    CInHandle* pH = ReceivingHandle(nId, nHandle);
    if (pH == nullptr) {
      return;
    }
    UINT wMsg = MIM_DATA;
    if (eKind == EInject::Error) {
      wMsg = MIM_ERROR;
    } else if (eKind == EInject::MoreData && (pH->fdwOpen & MIDI_IO_STATUS) != 0) {
      wMsg = MIM_MOREDATA;
    }
    call = CCall{pH->pfnCallback, ToInHandle(nHandle),
                 pH->dwInstance,  wMsg,
                 dwMsg,           static_cast<DWORD_PTR>(m_scheduler.Now() - pH->nStartTime)};
    BeginEventCall(*pH);
  }
  Invoke(call);
  EndEventCall(nHandle);
}

// Fills the queued blocks one after the other; each goes back to the program through the
// callback before the next is filled, so a program that gives blocks back at once never runs dry.
// An empty aBytes returns one empty block.
void CVirtualMidiDriver::DeliverBlocks(int nId, const std::vector<BYTE>& aBytes, UINT wLastMsg) {
  std::size_t nPos = 0;
  do {
    std::uint32_t nHandle = 0;
    CCall call;
    {
      std::lock_guard<std::mutex> lock(m_mx);
      CInHandle* pH = ReceivingHandle(nId, nHandle);
      if (pH == nullptr || pH->aQueue.empty()) {
        if (CInDevice* pDev = DeviceAt(m_aIn, nId)) {
          pDev->nDropped += aBytes.size() - nPos;
        }
        return;
      }
      MIDIHDR* pHdr = pH->aQueue.front();
      pH->aQueue.pop_front();
      const std::size_t n = BlockFill(aBytes, nPos, pHdr->dwBufferLength);
      if (n != 0) {
        std::memcpy(pHdr->lpData, aBytes.data() + nPos, n);
      }
      nPos += n;
      pHdr->dwBytesRecorded = static_cast<DWORD>(n);
      MarkDone(*pHdr);
      const UINT wMsg = nPos >= aBytes.size() ? wLastMsg : MIM_LONGDATA;
      call = CCall{pH->pfnCallback,
                   ToInHandle(nHandle),
                   pH->dwInstance,
                   wMsg,
                   reinterpret_cast<DWORD_PTR>(pHdr),
                   static_cast<DWORD_PTR>(m_scheduler.Now() - pH->nStartTime)};
      BeginEventCall(*pH);
    }
    Invoke(call);
    EndEventCall(nHandle);
  } while (nPos < aBytes.size());
}

void CVirtualMidiDriver::BeginEventCall(CInHandle& h) {
  ++h.nInFlight;
  h.idInFlight = std::this_thread::get_id();
}

void CVirtualMidiDriver::EndEventCall(std::uint32_t nHandle) {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    const auto it = m_inHandles.find(nHandle);
    if (it != m_inHandles.end()) {
      --it->second.nInFlight;
    }
  }
  m_cv.notify_all();
}

void CVirtualMidiDriver::Invoke(const CCall& call) {
  if (call.pfnCallback != nullptr) {
    call.pfnCallback(call.hMidiIn, call.wMsg, call.dwInstance, call.dwParam1, call.dwParam2);
  }
}

void CVirtualMidiDriver::Confirm(const CCall& call, std::uint32_t nDelayMs) {
  if (nDelayMs == 0) {
    Invoke(call);
  } else {
    Schedule(nDelayMs, [call] { Invoke(call); });
  }
}

void CVirtualMidiDriver::WaitForCallbacks(std::unique_lock<std::mutex>& lock, std::uint32_t nHandle) {
  const std::thread::id idSelf = std::this_thread::get_id();
  m_cv.wait(lock, [&] {
    const auto it = m_inHandles.find(nHandle);
    return it == m_inHandles.end() || it->second.nInFlight == 0 || it->second.idInFlight == idSelf;
  });
}

// ---------------------------------------------------------------------------------------------
// Input API

UINT CVirtualMidiDriver::InGetNumDevs() {
  std::lock_guard<std::mutex> lock(m_mx);
  return static_cast<UINT>(std::count_if(m_aIn.begin(), m_aIn.end(), [](const CInDevice& d) { return d.bPresent; }));
}

MMRESULT CVirtualMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  std::lock_guard<std::mutex> lock(m_mx);
  return GetCaps(m_aIn, uDeviceId, pCaps, cbCaps);
}

MMRESULT CVirtualMidiDriver::InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                                    DWORD fdwOpen) {
  if (phMidiIn == nullptr) {
    return MMSYSERR_INVALPARAM;
  }
  *phMidiIn = nullptr;
  const DWORD dwType = fdwOpen & CALLBACK_TYPEMASK;
  if (dwType != CALLBACK_NULL && dwType != CALLBACK_FUNCTION) {
    return MMSYSERR_INVALFLAG;
  }
  CCall confirm;
  std::uint32_t nDelay = 0;
  bool bConfirm = false;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    CInDevice* pDev = DeviceByNumber(m_aIn, uDeviceId);
    if (pDev == nullptr) {
      return MMSYSERR_BADDEVICEID;
    }
    if (const MMRESULT nResult = CheckFree(*pDev); nResult != MMSYSERR_NOERROR) {
      return nResult;
    }
    const std::uint32_t n = m_nNextHandle++;
    CInHandle h;
    h.pfnCallback = dwType == CALLBACK_FUNCTION ? reinterpret_cast<MIDIINPROC>(dwCallback) : nullptr;
    h.dwInstance = dwInstance;
    h.fdwOpen = fdwOpen;
    confirm = CCall{h.pfnCallback, ToInHandle(n), dwInstance, MIM_OPEN, 0, 0};
    AttachHandle(m_aIn, *pDev, m_inHandles, n, std::move(h));
    *phMidiIn = ToInHandle(n);
    bConfirm = pDev->opt.bConfirmOpen;
    nDelay = pDev->opt.nOpenConfirmMs;
  }
  if (bConfirm) {
    Confirm(confirm, nDelay);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT CVirtualMidiDriver::InStart(HMIDIIN hMidiIn) {
  std::lock_guard<std::mutex> lock(m_mx);
  CInHandle* pH = FindIn(hMidiIn);
  if (const MMRESULT nResult = CheckLive(pH); nResult != MMSYSERR_NOERROR) {
    return nResult;
  }
  if (!pH->bStarted) {
    pH->bStarted = true;
    pH->nStartTime = m_scheduler.Now();
  }
  return MMSYSERR_NOERROR;
}

MMRESULT CVirtualMidiDriver::StopInput(std::unique_lock<std::mutex>& lock, HMIDIIN hMidiIn) {
  std::uint32_t n = 0;
  CInHandle* pH = FindIn(hMidiIn, &n);
  if (const MMRESULT nResult = CheckLive(pH); nResult != MMSYSERR_NOERROR) {
    return nResult;
  }
  pH->bStarted = false;
  WaitForCallbacks(lock, n);
  return MMSYSERR_NOERROR;
}

MMRESULT CVirtualMidiDriver::InStop(HMIDIIN hMidiIn) {
  std::unique_lock<std::mutex> lock(m_mx);
  return StopInput(lock, hMidiIn);
}

MMRESULT CVirtualMidiDriver::InReset(HMIDIIN hMidiIn) {
  {
    std::unique_lock<std::mutex> lock(m_mx);
    if (const MMRESULT nResult = StopInput(lock, hMidiIn); nResult != MMSYSERR_NOERROR) {
      return nResult;
    }
  }
  // As a real driver may: one block returned per round, and another round while any is queued,
  // so a block given back during the reset comes back again.
  for (;;) {
    CCall call;
    {
      std::unique_lock<std::mutex> lock(m_mx);
      CInHandle* pH = FindIn(hMidiIn);
      if (pH == nullptr) {
        return MMSYSERR_INVALHANDLE;
      }
      if (pH->aQueue.empty()) {
        return MMSYSERR_NOERROR;
      }
      MIDIHDR* pHdr = pH->aQueue.front();
      pH->aQueue.pop_front();
      pHdr->dwBytesRecorded = 0;
      MarkDone(*pHdr);
      call = CCall{pH->pfnCallback,
                   hMidiIn,
                   pH->dwInstance,
                   MIM_LONGDATA,
                   reinterpret_cast<DWORD_PTR>(pHdr),
                   static_cast<DWORD_PTR>(m_scheduler.Now() - pH->nStartTime)};
    }
    Invoke(call);
  }
}

MMRESULT CVirtualMidiDriver::InClose(HMIDIIN hMidiIn) {
  CCall confirm;
  bool bConfirm = false;
  std::uint32_t nDelay = 0;
  {
    std::unique_lock<std::mutex> lock(m_mx);
    std::uint32_t n = 0;
    CInHandle* pH = FindIn(hMidiIn, &n);
    if (pH == nullptr) {
      return MMSYSERR_INVALHANDLE;
    }
    const CInDevice& dev = m_aIn[static_cast<std::size_t>(pH->nDevice)];
    if (dev.opt.bCloseFails) {
      return MMSYSERR_ERROR;
    }
    if (!pH->bDead && !pH->aQueue.empty()) {
      return MIDIERR_STILLPLAYING;
    }
    pH->bStarted = false;
    WaitForCallbacks(lock, n);
    pH = FindIn(hMidiIn);
    if (pH == nullptr) {
      return MMSYSERR_INVALHANDLE;
    }
    // A dead handle's blocks are let go without being returned.
    bConfirm = dev.opt.bConfirmClose;
    nDelay = dev.opt.nCloseConfirmMs;
    confirm = CCall{pH->pfnCallback, hMidiIn, pH->dwInstance, MIM_CLOSE, 0, 0};
    DetachHandle(m_aIn, m_inHandles, n, pH->nDevice);
  }
  if (bConfirm) {
    Confirm(confirm, nDelay);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT CVirtualMidiDriver::InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  std::lock_guard<std::mutex> lock(m_mx);
  return HeaderCall(FindIn(hMidiIn) != nullptr, pHdr, cbHdr, PrepareHeader);
}

MMRESULT CVirtualMidiDriver::InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  std::lock_guard<std::mutex> lock(m_mx);
  return HeaderCall(FindIn(hMidiIn) != nullptr, pHdr, cbHdr, UnprepareHeader);
}

MMRESULT CVirtualMidiDriver::InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  std::lock_guard<std::mutex> lock(m_mx);
  CInHandle* pH = FindIn(hMidiIn);
  if (const MMRESULT nResult = CheckHandOver(pH, pHdr, cbHdr); nResult != MMSYSERR_NOERROR) {
    return nResult;
  }
  pHdr->dwBytesRecorded = 0;
  MarkQueued(*pHdr);
  pH->aQueue.push_back(pHdr);
  return MMSYSERR_NOERROR;
}

}  // namespace velda
