#include "midi/midi_in_port.h"

#include <new>
#include <string>

#include "fw/msgloop.h"
#include "fw/trace.h"
#include "fw/wnd.h"
#include "midi/midi_in_registry.h"
#include "midi/realtime_filter.h"

namespace velda {

using fw::FALSE;
using fw::TRUE;

namespace {

// Waits for the driver's MIM_OPEN or MIM_CLOSE: the flag is tested before each 1 ms sleep, and
// the wait gives up once more than the limit has passed on the millisecond clock.
bool WaitForConfirmation(const std::atomic<int>& bPending) {
  const DWORD dwStart = fw::timeGetTime();
  while (bPending.load(std::memory_order_acquire) == 1) {
    if (fw::timeGetTime() - dwStart > MIDI_IN_CONFIRM_MS) {
      return false;
    }
    fw::Sleep(1);
  }
  return true;
}

std::unique_ptr<BYTE[]> AllocZeroed(UINT nBytes) { return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[nBytes]()); }

}  // namespace

CMidiInPort::CMidiInPort() : m_aQueue(AllocZeroed(MIDI_IN_BLOCK_SIZE)), m_nKey(CMidiInRegistry::Register(this)) {
  if (m_aQueue == nullptr) {
    m_nQueueSize = 0;
  }
}

CMidiInPort::~CMidiInPort() {
  Close();
  CMidiInRegistry::Unregister(m_nKey);
  // A handle the driver would not close may still hold the blocks.
  ReleaseBlocks(m_hMidiIn.load() == nullptr);
}

BOOL CMidiInPort::Open(int nDevice, UINT nDataId, UINT nStatusId) {
  m_nDataId = nDataId;
  m_nStatusId = nStatusId;
  if (!OpenDevice(nDevice)) {
    return FALSE;
  }
  ResizeQueue(static_cast<int>(MIDI_IN_QUEUE_SIZE));
  return TRUE;
}

BOOL CMidiInPort::OpenDevice(int nDevice) {
  if (!Close()) {
    return FALSE;
  }
  m_bPending.store(1, std::memory_order_release);
  HMIDIIN hMidiIn = nullptr;
  const MMRESULT nResult = midiInOpen(&hMidiIn, static_cast<UINT>(nDevice), reinterpret_cast<DWORD_PTR>(&MidiInProc),
                                      m_nKey, CALLBACK_FUNCTION | MIDI_IO_STATUS);
  if (nResult != MMSYSERR_NOERROR) {
    if (nResult == MMSYSERR_ALLOCATED) {
      fw::AfxMessageBox(TXT_MIDI_IN_ALLOCATED, fw::MB_OK | fw::MB_ICONEXCLAMATION);
    }
    return FALSE;
  }
  m_hMidiIn.store(hMidiIn);
  // A time-out leaves the handle open; the next Close closes it.
  if (!WaitForConfirmation(m_bPending)) {
    TraceNote("The MIDI In driver did not confirm the open within 1000 ms");
    return FALSE;
  }
  // Input starts before the blocks are queued.
  if (midiInStart(hMidiIn) != MMSYSERR_NOERROR) {
    return FALSE;
  }
  if (!PrepareBuffers()) {
    return FALSE;
  }
  MIDIINCAPS caps;
  if (midiInGetDevCapsA(static_cast<UINT_PTR>(static_cast<UINT>(nDevice)), &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
    return FALSE;
  }
  m_strName = PnameToString(caps.szPname);
  NotifyStatus(CString(TXT_MIDI_IN_OPENED) + m_strName);
  m_nState.store(MIDI_IN_OPEN);
  return TRUE;
}

BOOL CMidiInPort::Close() {
  const HMIDIIN hMidiIn = m_hMidiIn.load();
  if (hMidiIn != nullptr) {
    // An unplugged device is no longer listed: nothing to stop or reset.
    if (FindMidiInDevice(m_strName.Str()) >= 0 && midiInStop(hMidiIn) != MMSYSERR_NODRIVER) {
      fw::Sleep(100);
      midiInStop(hMidiIn);
      fw::Sleep(100);
      midiInStop(hMidiIn);
      fw::Sleep(100);
      // Blocks that come back empty from now on stay with the port.
      m_nState.store(MIDI_IN_CLOSED);
      if (midiInReset(hMidiIn) == MMSYSERR_NOERROR) {
        for (const auto& pHdr : m_apHdr) {
          if (pHdr != nullptr) {
            midiInUnprepareHeader(hMidiIn, pHdr.get(), sizeof(MIDIHDR));
          }
        }
      }
    }
    m_bPending.store(1, std::memory_order_release);
    if (midiInClose(hMidiIn) != MMSYSERR_NOERROR) {
      return FALSE;  // the handle and the name stay; the driver may still hold the blocks
    }
    // A closed handle holds nothing: the blocks are the port's again.
    ReleaseBlocks(true);
    if (!WaitForConfirmation(m_bPending)) {
      TraceNote("The MIDI In driver did not confirm the close within 1000 ms");
      return FALSE;
    }
  }
  NotifyStatus(CString(TXT_MIDI_IN_CLOSED) + m_strName);
  m_hMidiIn.store(nullptr);
  m_strName.Empty();
  m_nState.store(MIDI_IN_CLOSED);
  return TRUE;
}

BOOL CMidiInPort::PrepareBuffers() {
  // A port prepares its blocks once; blocks from before stay with whoever may hold them.
  ReleaseBlocks(false);
  for (UINT i = 0; i < MIDI_IN_BLOCK_COUNT; ++i) {
    m_apHdr[i].reset(new (std::nothrow) MIDIHDR());
    if (m_apHdr[i] == nullptr) {
      return FALSE;
    }
    m_apBlock[i] = AllocZeroed(m_nQueueSize);
    if (m_apBlock[i] == nullptr) {
      return FALSE;
    }
  }
  const HMIDIIN hMidiIn = m_hMidiIn.load();
  for (UINT i = 0; i < MIDI_IN_BLOCK_COUNT; ++i) {
    MIDIHDR& hdr = *m_apHdr[i];
    hdr.lpData = reinterpret_cast<char*>(m_apBlock[i].get());
    hdr.dwBufferLength = m_nQueueSize;
    hdr.dwBytesRecorded = 0;
    hdr.dwUser = 0;
    StoreHeaderFlags(hdr, 0);
    hdr.dwOffset = 0;
    if (midiInPrepareHeader(hMidiIn, &hdr, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) {
      return FALSE;
    }
    if (midiInAddBuffer(hMidiIn, &hdr, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) {
      return FALSE;
    }
  }
  return TRUE;
}

BOOL CMidiInPort::ResizeQueue(int nBytes) {
  if (nBytes < 0) {
    return FALSE;
  }
  const HMIDIIN hMidiIn = m_hMidiIn.load();
  // Input must be stopped while the storage moves, whatever the new size: the reset stops it and
  // returns the blocks empty. The callback keeps them (given back at once, a driver that returns
  // one block per call while any is queued would never finish the reset); they go back here.
  if (hMidiIn != nullptr) {
    m_bHoldBlocks.store(true);
    const MMRESULT nReset = midiInReset(hMidiIn);
    GiveBlocksBack();
    m_bHoldBlocks.store(false);
    if (nReset != MMSYSERR_NOERROR) {
      return FALSE;
    }
  }
  std::unique_ptr<BYTE[]> aQueue;
  if (nBytes != 0) {
    aQueue = AllocZeroed(static_cast<UINT>(nBytes));
    if (aQueue == nullptr) {
      return FALSE;
    }
  }
  m_aQueue = std::move(aQueue);
  m_nQueueSize = static_cast<UINT>(nBytes);
  m_nRead.store(0, std::memory_order_release);
  m_nWrite.store(0, std::memory_order_release);
  NotifyStatus(CString(TXT_MIDI_IN_RESIZED) + CString(std::to_string(nBytes)));
  return midiInStart(hMidiIn) == MMSYSERR_NOERROR ? TRUE : FALSE;
}

BOOL CMidiInPort::GetByte(int& nByte) {
  const UINT nRead = m_nRead.load(std::memory_order_relaxed);
  if (nRead == m_nWrite.load(std::memory_order_acquire)) {
    return FALSE;
  }
  nByte = m_aQueue[nRead];
  // Released after the byte is read, so the writer never stores into a slot still being read.
  m_nRead.store(NextRingIndex(nRead, m_nQueueSize), std::memory_order_release);
  return TRUE;
}

void CMidiInPort::MidiInProc(HMIDIIN /*hMidiIn*/, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR dwParam2) {
  // A port that is gone is not found: its handle outlived it.
  CMidiInRegistry::WithPort(dwInstance, [&](CMidiInPort& port) { port.OnMidiInMessage(wMsg, dwParam1, dwParam2); });
}

void CMidiInPort::OnMidiInMessage(UINT wMsg, DWORD_PTR dwParam1, DWORD_PTR /*dwParam2*/) {
  switch (wMsg) {
    case MIM_OPEN:
    case MIM_CLOSE:
      m_bPending.store(0, std::memory_order_release);
      return;
    case MIM_DATA:
      return;  // short messages (channel, system common, real-time) are not wanted
    case MIM_LONGDATA:
      OnLongData(reinterpret_cast<MIDIHDR*>(dwParam1));
      return;
    case MIM_ERROR:
      NotifyDriverStatus(TXT_MIDI_IN_DATA_ERROR);
      return;
    case MIM_LONGERROR:
      OnLongData(reinterpret_cast<MIDIHDR*>(dwParam1));
      NotifyDriverStatus(TXT_MIDI_IN_DATA_ERROR);
      return;
    case MIM_MOREDATA:
      NotifyDriverStatus(TXT_MIDI_IN_MORE_DATA);
      return;
    default:
      return;
  }
}

void CMidiInPort::OnLongData(MIDIHDR* pHdr) {
  if (pHdr == nullptr || (LoadHeaderFlags(*pHdr) & MHDR_DONE) == 0) {
    return;
  }
  // Returned by a reset of the queue: the resize discards any bytes, and the block goes back after.
  if (m_bHoldBlocks.load()) {
    return;
  }
  // Never read past the block, whatever the driver claims to have recorded.
  const DWORD nBytes = pHdr->dwBytesRecorded < pHdr->dwBufferLength ? pHdr->dwBytesRecorded : pHdr->dwBufferLength;
  const BYTE* p = reinterpret_cast<const BYTE*>(pHdr->lpData);
  for (DWORD i = 0; i < nBytes; ++i) {
    if (KeepReceivedByte(p[i], m_bInSysEx)) {
      PutByte(p[i]);
    }
  }
  // An empty block during a close stays with the port.
  if (nBytes == 0 && m_nState.load() == MIDI_IN_CLOSED) {
    return;
  }
  const HMIDIIN hMidiIn = m_hMidiIn.load();
  midiInPrepareHeader(hMidiIn, pHdr, sizeof(MIDIHDR));
  midiInAddBuffer(hMidiIn, pHdr, sizeof(MIDIHDR));
  if (nBytes != 0) {
    NotifyData();
  }
}

void CMidiInPort::PutByte(BYTE b) {
  const UINT nWrite = m_nWrite.load(std::memory_order_relaxed);
  if (!RingHasRoom(m_nRead.load(std::memory_order_acquire), nWrite, m_nQueueSize)) {
    // Full: what is queued stays readable, this byte is lost. One status per run of lost bytes.
    if (!m_bOverrunReported) {
      m_bOverrunReported = true;
      NotifyDriverStatus(TXT_MIDI_IN_OVERRUN);
    }
    return;
  }
  m_aQueue[nWrite] = b;
  m_nWrite.store(NextRingIndex(nWrite, m_nQueueSize), std::memory_order_release);
  m_bOverrunReported = false;
}

void CMidiInPort::NotifyData() {
  if (m_nDataId != 0) {
    fw::PostToMainWindow(fw::WM_COMMAND, m_nDataId, 0);
  }
}

void CMidiInPort::NotifyDriverStatus(const char* pszText) {
  TraceNoteLater(pszText);
  if (m_nStatusId != 0) {
    fw::PostToMainWindow(fw::WM_COMMAND, m_nStatusId, 0);
  }
}

void CMidiInPort::NotifyStatus(const CString& strText) {
  TraceNote(strText.Str());
  // A port that was never given ids (one made but never opened) has no command to post.
  if (m_nStatusId != 0) {
    fw::PostToMainWindow(fw::WM_COMMAND, m_nStatusId, 0);
  }
}

void CMidiInPort::GiveBlocksBack() {
  const HMIDIIN hMidiIn = m_hMidiIn.load();
  for (const auto& pHdr : m_apHdr) {
    if (pHdr != nullptr && (LoadHeaderFlags(*pHdr) & MHDR_INQUEUE) == 0) {
      midiInPrepareHeader(hMidiIn, pHdr.get(), sizeof(MIDIHDR));
      midiInAddBuffer(hMidiIn, pHdr.get(), sizeof(MIDIHDR));
    }
  }
}

void CMidiInPort::ReleaseBlocks(bool bDriverLetGo) {
  for (UINT i = 0; i < MIDI_IN_BLOCK_COUNT; ++i) {
    if (bDriverLetGo) {
      m_apHdr[i].reset();
      m_apBlock[i].reset();
    } else if (m_apHdr[i] != nullptr || m_apBlock[i] != nullptr) {
      KeepForDriver(std::move(m_apHdr[i]), std::move(m_apBlock[i]));
    }
  }
}

}  // namespace velda
