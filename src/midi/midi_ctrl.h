// The MIDI transport object: finds the instrument's ports by product name or number, opens and
// closes them, sends system-exclusive messages and hands out received bytes.
#pragma once

#include <memory>

#include "fw/cstring.h"
#include "fw/cview.h"
#include "fw/types.h"

namespace velda {

class CMidiInPort;
class CMidiOutPort;

using fw::BOOL;
using fw::BYTE;
using fw::CString;
using fw::UINT;

class CMidiCtrl : public fw::CView {
 public:
  CMidiCtrl();
  ~CMidiCtrl() override;
  CMidiCtrl(const CMidiCtrl&) = delete;
  CMidiCtrl& operator=(const CMidiCtrl&) = delete;

  BOOL OpenInByName(const CString& strName, UINT nDataId, UINT nStatusId);
  BOOL OpenOutByName(const CString& strName);
  BOOL OpenInByNumber(int nDevice, UINT nDataId, UINT nStatusId);
  BOOL OpenOutByNumber(int nDevice);
  int GetInDevice() const { return m_nInDevice; }
  int GetOutDevice() const { return m_nOutDevice; }
  // The product name of the device that the last open of each direction to succeed reached,
  // however it was asked for (by name or by number): the port recovery finds the same device
  // again by it. Empty before any open succeeded.
  const CString& InName() const { return m_strInName; }
  const CString& OutName() const { return m_strOutName; }
  // Bit 0 closes the input port, bit 1 the output port; 100 ms pause after each.
  void ClosePorts(UINT nWhich);
  // Sends one complete message F0 ... F7; always 0.
  int SendLongMsg(const BYTE* pMsg, UINT nLength);
  // The next received byte 0..255, or -1 when none is waiting.
  int GetInByte();
  // Runs the MIDI Port Select dialog; TRUE with the chosen list positions on OK.
  BOOL SelectPorts(int& nIn, int& nOut);

  // For tests and diagnostics.
  CMidiInPort* InPort() const { return m_pMidiIn.get(); }
  CMidiOutPort* OutPort() const { return m_pMidiOut.get(); }

 private:
  int m_nInDevice = 1;
  int m_nOutDevice = 1;
  std::unique_ptr<CMidiOutPort> m_pMidiOut;
  std::unique_ptr<CMidiInPort> m_pMidiIn;
  CString m_strInName;
  CString m_strOutName;
};

}  // namespace velda
