#include "midi/midi_ctrl.h"

#include <new>
#include <string>

#include "fw/msgloop.h"
#include "fw/trace.h"
#include "midi/driver/midi_driver.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

namespace velda {

using fw::FALSE;
using fw::TRUE;

namespace {

// A fresh port object for every open; the old one is deleted first, so its device is closed
// before anything new is opened.
template <class TPort>
bool ReplacePort(std::unique_ptr<TPort>& pPort) {
  pPort.reset();
  pPort.reset(new (std::nothrow) TPort());
  return pPort != nullptr;
}

CString InProductName(int nDevice) {
  MIDIINCAPS caps;
  if (midiInGetDevCapsA(static_cast<UINT>(nDevice), &caps, sizeof(caps)) != MMSYSERR_NOERROR) return CString();
  return PnameToString(caps.szPname);
}

CString OutProductName(int nDevice) {
  MIDIOUTCAPS caps;
  if (midiOutGetDevCapsA(static_cast<UINT>(nDevice), &caps, sizeof(caps)) != MMSYSERR_NOERROR) return CString();
  return PnameToString(caps.szPname);
}

// The device an open reached, beside what was asked for: under another name (--midi-in, a
// hand choice) the product name alone does not say which port of the system it is.
void TraceOpened(const char* pszWhich, const std::string& strAsked, int nDevice, const CString& strProduct,
                 const std::string& strSystem) {
  std::string strNote = std::string(pszWhich) + " " + strAsked + " opened device " + std::to_string(nDevice) + " \"" +
                        strProduct.Str() + "\"";
  if (!strSystem.empty()) strNote += " (" + strSystem + ")";
  TraceNote(strNote);
}

// By name: only a system that names the device more fully has more to say than the name asked.
void TraceOpenedByName(const char* pszWhich, const CString& strName, int nDevice, const std::string& strSystem) {
  if (!strSystem.empty()) TraceOpened(pszWhich, "\"" + strName.Str() + "\"", nDevice, strName, strSystem);
}

}  // namespace

CMidiCtrl::CMidiCtrl() : m_pMidiOut(new (std::nothrow) CMidiOutPort()), m_pMidiIn(new (std::nothrow) CMidiInPort()) {}

// The output goes first (its device is reset and closed), then the input.
CMidiCtrl::~CMidiCtrl() {
  m_pMidiOut.reset();
  m_pMidiIn.reset();
}

BOOL CMidiCtrl::OpenInByName(const CString& strName, UINT nDataId, UINT nStatusId) {
  m_nInDevice = -1;
  if (!ReplacePort(m_pMidiIn)) {
    return FALSE;
  }
  // Only the first device of that name is tried, whether its open works or not.
  const int nDevice = FindMidiInDevice(strName.Str());
  if (nDevice >= 0 && m_pMidiIn->Open(nDevice, nDataId, nStatusId)) {
    m_nInDevice = nDevice;
    m_strInName = strName;
    TraceOpenedByName("MIDI In", strName, nDevice, MidiInSystemName(static_cast<UINT>(nDevice)));
  }
  return m_nInDevice != -1 ? TRUE : FALSE;
}

BOOL CMidiCtrl::OpenOutByName(const CString& strName) {
  m_nOutDevice = -1;
  if (!ReplacePort(m_pMidiOut)) {
    return FALSE;
  }
  const int nDevice = FindMidiOutDevice(strName.Str());
  if (nDevice >= 0 && m_pMidiOut->Open(nDevice)) {
    m_nOutDevice = nDevice;
    m_strOutName = strName;
    TraceOpenedByName("MIDI Out", strName, nDevice, MidiOutSystemName(static_cast<UINT>(nDevice)));
  }
  return m_nOutDevice != -1 ? TRUE : FALSE;
}

BOOL CMidiCtrl::OpenInByNumber(int nDevice, UINT nDataId, UINT nStatusId) {
  m_nInDevice = -1;
  if (!ReplacePort(m_pMidiIn) || midiInGetNumDevs() == 0) {
    return FALSE;
  }
  // The port's open rejects a number that names no device.
  if (m_pMidiIn->Open(nDevice, nDataId, nStatusId)) {
    m_nInDevice = nDevice;
    m_strInName = InProductName(nDevice);
    TraceOpened("MIDI In", "number " + std::to_string(nDevice), nDevice, m_strInName,
                MidiInSystemName(static_cast<UINT>(nDevice)));
  }
  return m_nInDevice != -1 ? TRUE : FALSE;
}

BOOL CMidiCtrl::OpenOutByNumber(int nDevice) {
  m_nOutDevice = -1;
  if (!ReplacePort(m_pMidiOut) || midiOutGetNumDevs() == 0) {
    return FALSE;
  }
  if (m_pMidiOut->Open(nDevice)) {
    m_nOutDevice = nDevice;
    m_strOutName = OutProductName(nDevice);
    TraceOpened("MIDI Out", "number " + std::to_string(nDevice), nDevice, m_strOutName,
                MidiOutSystemName(static_cast<UINT>(nDevice)));
  }
  return m_nOutDevice != -1 ? TRUE : FALSE;
}

void CMidiCtrl::ClosePorts(UINT nWhich) {
  if ((nWhich & 1) != 0 && m_pMidiIn != nullptr) {
    m_pMidiIn->Close();
    fw::Sleep(100);
  }
  if ((nWhich & 2) != 0 && m_pMidiOut != nullptr) {
    m_pMidiOut->Close();
    fw::Sleep(100);
  }
}

int CMidiCtrl::SendLongMsg(const BYTE* pMsg, UINT nLength) {
  if (m_pMidiOut != nullptr) {
    m_pMidiOut->Send(pMsg, nLength);
  }
  return 0;
}

int CMidiCtrl::GetInByte() {
  int nByte = -1;
  if (m_pMidiIn != nullptr && m_pMidiIn->GetByte(nByte)) {
    return nByte;
  }
  return -1;
}

}  // namespace velda
