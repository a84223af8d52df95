// The transport's side of the MIDI Port Select dialog (the lead's file).
#include "midi/midi_ctrl.h"
#include "midi/port_select_dlg.h"

namespace velda {

BOOL CMidiCtrl::SelectPorts(int& nIn, int& nOut) {
  CPortSelectDlg dlg;
  // The devices opened last are offered; a failed open (-1) shows as 255: no entry selected.
  dlg.SetInSel(static_cast<std::uint8_t>(m_nInDevice & 0xFF));
  dlg.SetOutSel(static_cast<std::uint8_t>(m_nOutDevice & 0xFF));
  if (dlg.DoModal() != fw::IDOK) {
    return fw::FALSE;
  }
  nIn = dlg.GetInSel();
  nOut = dlg.GetOutSel();
  return fw::TRUE;
}

}  // namespace velda
