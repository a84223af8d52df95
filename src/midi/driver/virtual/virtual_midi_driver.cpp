#include "midi/driver/virtual/virtual_midi_driver.h"

#include <algorithm>
#include <cstring>

#include "fw/wnd.h"

namespace velda {

namespace {

HMIDIIN ToInHandle(std::uint32_t n) { return reinterpret_cast<HMIDIIN>(static_cast<std::uintptr_t>(n)); }
HMIDIOUT ToOutHandle(std::uint32_t n) { return reinterpret_cast<HMIDIOUT>(static_cast<std::uintptr_t>(n)); }
std::uint32_t FromHandle(const void* h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }

bool IsHeaderArgOk(const MIDIHDR* pHdr, UINT cbHdr) { return pHdr != nullptr && cbHdr >= sizeof(MIDIHDR); }

// A header the driver gives back: done and no longer queued.
void MarkDone(MIDIHDR& hdr) { StoreHeaderFlags(hdr, (LoadHeaderFlags(hdr) & ~MHDR_INQUEUE) | MHDR_DONE); }

// A header the driver takes: queued and not done.
void MarkQueued(MIDIHDR& hdr) { StoreHeaderFlags(hdr, (LoadHeaderFlags(hdr) & ~MHDR_DONE) | MHDR_INQUEUE); }

MMRESULT PrepareHeader(MIDIHDR* pHdr) {
  if (pHdr->lpData == nullptr || pHdr->dwBufferLength == 0) {
    return MMSYSERR_INVALPARAM;
  }
  StoreHeaderFlags(*pHdr, LoadHeaderFlags(*pHdr) | MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(MIDIHDR* pHdr) {
  const DWORD dwFlags = LoadHeaderFlags(*pHdr);
  if ((dwFlags & MHDR_INQUEUE) != 0) {
    return MIDIERR_STILLPLAYING;
  }
  StoreHeaderFlags(*pHdr, dwFlags & ~MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

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

void ReportDeviceChange() { fw::PostToMainWindow(fw::WM_DEVICECHANGE, fw::DBT_DEVNODES_CHANGED, 0); }

// Inputs and outputs are kept alike: the helpers below serve both lists of devices and both maps
// of handles. The lock is held by the caller.

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
MMRESULT HeaderCall(bool bHandleOpen, MIDIHDR* pHdr, UINT cbHdr, MMRESULT (*pfnApply)(MIDIHDR*)) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) {
    return MMSYSERR_INVALPARAM;
  }
  if (!bHandleOpen) {
    return MMSYSERR_INVALHANDLE;
  }
  return pfnApply(pHdr);
}

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
void ReturnHeld(std::vector<MIDIHDR*>& aHeld) {
  for (MIDIHDR* pHdr : aHeld) {
    MarkDone(*pHdr);
  }
  aHeld.clear();
}

}  // namespace

CVirtualMidiDriver::CVirtualMidiDriver(fw::CScheduler& scheduler) : m_scheduler(scheduler) {}

CVirtualMidiDriver::~CVirtualMidiDriver() { m_gate.Close(); }

void CVirtualMidiDriver::Schedule(std::uint32_t nDelayMs, std::function<void()> fn) {
  m_scheduler.ScheduleAfter(nDelayMs, m_gate.Guard(std::move(fn)));
}

// ---------------------------------------------------------------------------------------------
// Devices

template <class TDevice>
int CVirtualMidiDriver::AddDevice(std::vector<TDevice>& aDevices, const std::string& strName,
                                  const decltype(TDevice::opt)& opt) {
  int nId = 0;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    TDevice dev;
    dev.strName = strName.substr(0, MAXPNAMELEN - 1);
    dev.opt = opt;
    aDevices.push_back(std::move(dev));
    nId = static_cast<int>(aDevices.size()) - 1;
  }
  ReportDeviceChange();
  return nId;
}

int CVirtualMidiDriver::AddInDevice(const std::string& strName, const CVirtualInOptions& opt) {
  return AddDevice(m_aIn, strName, opt);
}

int CVirtualMidiDriver::AddOutDevice(const std::string& strName, const CVirtualOutOptions& opt) {
  return AddDevice(m_aOut, strName, opt);
}

void CVirtualMidiDriver::SetInPresent(int nId, bool bPresent) { ChangePresence({nId}, {}, bPresent); }

void CVirtualMidiDriver::SetOutPresent(int nId, bool bPresent) { ChangePresence({}, {nId}, bPresent); }

void CVirtualMidiDriver::SetPairPresent(int nInId, int nOutId, bool bPresent) {
  ChangePresence({nInId}, {nOutId}, bPresent);
}

void CVirtualMidiDriver::ChangePresence(const std::vector<int>& aIn, const std::vector<int>& aOut, bool bPresent) {
  bool bChanged = false;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    const bool bInChanged = SetPresence(m_aIn, aIn, bPresent, [this](std::uint32_t nHandle) {
      CInHandle& h = m_inHandles[nHandle];
      h.bDead = true;
      h.bStarted = false;
    });
    const bool bOutChanged =
        SetPresence(m_aOut, aOut, bPresent, [this](std::uint32_t nHandle) { m_outHandles[nHandle].bDead = true; });
    bChanged = bInChanged || bOutChanged;
  }
  if (bChanged) {
    ReportDeviceChange();
  }
}

void CVirtualMidiDriver::SetMapperAvailable(bool bAvailable) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_bMapperAvailable = bAvailable;
}

CVirtualMidiDriver::CInHandle* CVirtualMidiDriver::FindIn(HMIDIIN h, std::uint32_t* pnHandle) {
  return FindHandle(m_inHandles, h, pnHandle);
}

CVirtualMidiDriver::COutHandle* CVirtualMidiDriver::FindOut(HMIDIOUT h, std::uint32_t* pnHandle) {
  return FindHandle(m_outHandles, h, pnHandle);
}

// ---------------------------------------------------------------------------------------------
// Input deliveries

void CVirtualMidiDriver::InjectBytes(int nId, std::vector<BYTE> aBytes, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::Bytes, std::move(aBytes), 0, nDelayMs);
}

void CVirtualMidiDriver::InjectLongError(int nId, std::vector<BYTE> aBytes, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::LongError, std::move(aBytes), 0, nDelayMs);
}

void CVirtualMidiDriver::InjectEmptyBlock(int nId, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::EmptyBlock, {}, 0, nDelayMs);
}

void CVirtualMidiDriver::InjectShort(int nId, DWORD dwMsg, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::Short, {}, dwMsg, nDelayMs);
}

void CVirtualMidiDriver::InjectMoreData(int nId, DWORD dwMsg, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::MoreData, {}, dwMsg, nDelayMs);
}

void CVirtualMidiDriver::InjectError(int nId, DWORD dwMsg, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::Error, {}, dwMsg, nDelayMs);
}

void CVirtualMidiDriver::ScheduleInject(int nId, EInject eKind, std::vector<BYTE> aBytes, DWORD dwMsg,
                                        std::uint32_t nDelayMs) {
  Schedule(nDelayMs, [this, nId, eKind, aBytes = std::move(aBytes), dwMsg] { RunInject(nId, eKind, aBytes, dwMsg); });
}

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

template <class TCaps, class TDevice>
MMRESULT CVirtualMidiDriver::GetCaps(const std::vector<TDevice>& aDevices, UINT_PTR uDeviceId, TCaps* pCaps,
                                     UINT cbCaps) {
  if (pCaps == nullptr || cbCaps < sizeof(TCaps)) {
    return MMSYSERR_INVALPARAM;
  }
  std::lock_guard<std::mutex> lock(m_mx);
  const TDevice* pDev = DeviceByNumber(aDevices, uDeviceId);
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

MMRESULT CVirtualMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
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
  std::vector<CCall> aCalls;
  {
    std::unique_lock<std::mutex> lock(m_mx);
    if (const MMRESULT nResult = StopInput(lock, hMidiIn); nResult != MMSYSERR_NOERROR) {
      return nResult;
    }
    CInHandle* pH = FindIn(hMidiIn);
    if (pH == nullptr) {
      return MMSYSERR_INVALHANDLE;
    }
    for (MIDIHDR* pHdr : pH->aQueue) {
      pHdr->dwBytesRecorded = 0;
      MarkDone(*pHdr);
      aCalls.push_back(CCall{pH->pfnCallback, hMidiIn, pH->dwInstance, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(pHdr),
                             static_cast<DWORD_PTR>(m_scheduler.Now() - pH->nStartTime)});
    }
    pH->aQueue.clear();
  }
  for (const CCall& call : aCalls) {
    Invoke(call);
  }
  return MMSYSERR_NOERROR;
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

// ---------------------------------------------------------------------------------------------
// Output API

UINT CVirtualMidiDriver::OutGetNumDevs() {
  std::lock_guard<std::mutex> lock(m_mx);
  return static_cast<UINT>(std::count_if(m_aOut.begin(), m_aOut.end(), [](const COutDevice& d) { return d.bPresent; }));
}

MMRESULT CVirtualMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
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

// ---------------------------------------------------------------------------------------------
// Output observation, faults and inspection

void CVirtualMidiDriver::SetOutSink(int nId, FnOutSink fnSink) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (COutDevice* pDev = DeviceAt(m_aOut, nId)) {
    pDev->fnSink = std::move(fnSink);
  }
}

void CVirtualMidiDriver::SetKeepOutMessages(bool bKeep) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_bKeepOutMessages = bKeep;
}

std::vector<std::vector<BYTE>> CVirtualMidiDriver::OutMessages(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  const COutDevice* pDev = DeviceAt(m_aOut, nId);
  return pDev != nullptr ? pDev->aMessages : std::vector<std::vector<BYTE>>{};
}

void CVirtualMidiDriver::FailNextLongMsg(int nId, MMRESULT nResult) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (COutDevice* pDev = DeviceAt(m_aOut, nId)) {
    pDev->nFailNext = nResult;
  }
}

void CVirtualMidiDriver::ReleaseOutMessages(int nId) {
  std::lock_guard<std::mutex> lock(m_mx);
  for (auto& [n, h] : m_outHandles) {
    if (h.nDevice == nId) {
      ReturnHeld(h.aHeld);
    }
  }
}

bool CVirtualMidiDriver::IsInOpen(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  return HasHandleOn(m_inHandles, nId);
}

bool CVirtualMidiDriver::IsOutOpen(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  return HasHandleOn(m_outHandles, nId);
}

std::size_t CVirtualMidiDriver::QueuedInBlocks(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  std::size_t n = 0;
  for (const auto& [nHandle, h] : m_inHandles) {
    if (h.nDevice == nId) {
      n += h.aQueue.size();
    }
  }
  return n;
}

std::uint64_t CVirtualMidiDriver::DroppedInBytes(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  const CInDevice* pDev = DeviceAt(m_aIn, nId);
  return pDev != nullptr ? pDev->nDropped : 0;
}

std::size_t CVirtualMidiDriver::OpenInHandles() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_inHandles.size();
}

std::size_t CVirtualMidiDriver::OpenOutHandles() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_outHandles.size();
}

}  // namespace velda
