// The transport's side of the MIDI Port Select dialog (the lead's file).
#include <string>
#include <vector>

#include "fw/trace.h"
#include "midi/driver/midi_driver.h"
#include "midi/midi_ctrl.h"
#include "midi/port_names.h"
#include "midi/port_select_dlg.h"

namespace velda {

namespace {

std::vector<std::string> InProducts() {
  std::vector<std::string> a;
  const UINT n = midiInGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIINCAPS caps;
    a.push_back(midiInGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR ? PnameToString(caps.szPname).Str()
                                                                              : std::string());
  }
  return a;
}

std::vector<std::string> OutProducts() {
  std::vector<std::string> a;
  const UINT n = midiOutGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIOUTCAPS caps;
    a.push_back(midiOutGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR ? PnameToString(caps.szPname).Str()
                                                                               : std::string());
  }
  return a;
}

// The entry marked for a direction: the device opened last; when that open failed (the
// instrument's own names are absent), the one device that plausibly is the instrument, marked
// only: nothing is opened or sent until the user confirms it; otherwise -1 (no entry).
int Offered(const char* pszWhich, int nOpened, const std::vector<std::string>& aProducts) {
  if (nOpened != -1) return nOpened;
  const int nSole = SoleInstrumentPort(aProducts);
  if (nSole != -1) {
    TraceNote(std::string(pszWhich) + " device " + std::to_string(nSole) + " \"" +
              aProducts[static_cast<std::size_t>(nSole)] + "\" is offered as the instrument's port");
  }
  return nSole;
}

}  // namespace

BOOL CMidiCtrl::SelectPorts(int& nIn, int& nOut) {
  CPortSelectDlg dlg;
  // A position of -1 shows as 255: no entry selected.
  dlg.SetInSel(static_cast<std::uint8_t>(Offered("MIDI In", m_nInDevice, InProducts()) & 0xFF));
  dlg.SetOutSel(static_cast<std::uint8_t>(Offered("MIDI Out", m_nOutDevice, OutProducts()) & 0xFF));
  if (dlg.DoModal() != fw::IDOK) {
    return fw::FALSE;
  }
  nIn = dlg.GetInSel();
  nOut = dlg.GetOutSel();
  return fw::TRUE;
}

}  // namespace velda
