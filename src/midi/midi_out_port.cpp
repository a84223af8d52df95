#include "midi/midi_out_port.h"

#include <cstring>
#include <new>
#include <string>

#include "fw/msgloop.h"
#include "fw/trace.h"

namespace velda {

using fw::FALSE;
using fw::TRUE;

namespace {

// Waits on the millisecond clock, 1 ms at a time, for the driver to finish with the header.
bool WaitForDone(const MIDIHDR& hdr) {
  const DWORD dwStart = fw::timeGetTime();
  while ((LoadHeaderFlags(hdr) & MHDR_DONE) == 0) {
    if (fw::timeGetTime() - dwStart > MIDI_OUT_BUSY_WAIT_MS) {
      return false;
    }
    fw::Sleep(1);
  }
  return true;
}

std::string ResultText(MMRESULT nResult) { return std::to_string(nResult); }

}  // namespace

CMidiOutPort::CMidiOutPort() = default;

CMidiOutPort::~CMidiOutPort() { Close(); }

BOOL CMidiOutPort::Open(int nDevice) {
  if (m_hMidiOut != nullptr || m_pHdr != nullptr) {
    Close();  // opened once in its life; never leak an earlier handle
  }
  m_bHandedOver = false;
  m_nRefusedLength = 0;
  m_nResult = midiOutOpen(&m_hMidiOut, static_cast<UINT>(nDevice), 0, 0, CALLBACK_NULL);
  if (m_nResult != MMSYSERR_NOERROR) {
    if (nDevice != -1) {
      return FALSE;
    }
    // The mapper cannot be opened: device 0 instead.
    m_nResult = midiOutOpen(&m_hMidiOut, 0, 0, 0, CALLBACK_NULL);
    if (m_nResult != MMSYSERR_NOERROR) {
      return FALSE;
    }
  }
  m_pHdr.reset(new (std::nothrow) MIDIHDR());
  m_pBuffer.reset(new (std::nothrow) BYTE[MIDI_OUT_BUFFER_SIZE]());
  if (m_pHdr == nullptr || m_pBuffer == nullptr) {
    // No header without its buffer, and the failure stays visible in the result.
    m_pHdr.reset();
    m_pBuffer.reset();
    m_nResult = MMSYSERR_NOMEM;
    return FALSE;
  }
  m_pHdr->lpData = reinterpret_cast<char*>(m_pBuffer.get());
  m_pHdr->dwBufferLength = MIDI_OUT_BUFFER_SIZE;
  m_nResult = midiOutPrepareHeader(m_hMidiOut, m_pHdr.get(), sizeof(MIDIHDR));
  return m_nResult == MMSYSERR_NOERROR ? TRUE : FALSE;
}

void CMidiOutPort::Close() {
  bool bDriverLetGo = true;
  if (m_hMidiOut != nullptr) {
    midiOutReset(m_hMidiOut);
    if (m_pHdr != nullptr &&
        midiOutUnprepareHeader(m_hMidiOut, m_pHdr.get(), sizeof(MIDIHDR)) == MIDIERR_STILLPLAYING) {
      bDriverLetGo = false;
    }
    midiOutClose(m_hMidiOut);
    m_hMidiOut = nullptr;
  }
  if (bDriverLetGo) {
    m_pBuffer.reset();
    m_pHdr.reset();
  } else {
    KeepForDriver(std::move(m_pHdr), std::move(m_pBuffer));  // a driver that will not let go
  }
}

bool CMidiOutPort::IsHeldByDriver() const {
  return m_bHandedOver && m_pHdr != nullptr && (LoadHeaderFlags(*m_pHdr) & MHDR_DONE) == 0;
}

void CMidiOutPort::Send(const BYTE* pData, UINT nLength) {
  if (m_pHdr == nullptr) {
    return;
  }
  if (pData == nullptr || nLength == 0 || nLength > MIDI_OUT_BUFFER_SIZE) {
    TraceNote("MIDI Out message of " + std::to_string(nLength) + " bytes not sent: it does not fit the " +
              std::to_string(MIDI_OUT_BUFFER_SIZE) + "-byte buffer");
    return;
  }
  if (IsHeldByDriver() && !WaitForDone(*m_pHdr)) {
    TraceNote("MIDI Out message dropped: the driver still holds the previous one " + FormatHexBytes(pData, nLength));
    return;
  }
  std::memcpy(m_pBuffer.get(), pData, nLength);
  m_pHdr->dwBufferLength = nLength;
  if (m_nResult != MMSYSERR_NOERROR) {
    TraceNote("MIDI Out message not sent after error " + ResultText(m_nResult) + ": " + FormatHexBytes(pData, nLength));
    return;
  }
  m_nResult = midiOutLongMsg(m_hMidiOut, m_pHdr.get(), sizeof(MIDIHDR));
  if (m_nResult != MMSYSERR_NOERROR) {
    m_nRefusedLength = nLength;
    TraceNote("MIDI Out Error " + ResultText(m_nResult) +
              ": nothing more is sent until the port is opened again: " + FormatHexBytes(pData, nLength));
    return;
  }
  m_bHandedOver = true;
  TraceSent(pData, nLength);
}

}  // namespace velda
