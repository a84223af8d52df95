// The MIDI Port button: choose the ports by hand, then begin the installation again.
#include "midi/midi_ctrl.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

void CInstallerDlg::OnMidiPort() {
  if (m_pMidi == nullptr) {
    fw::AfxMessageBox(TXT_CANT_OPEN_DEFAULT, fw::MB_OK);
    return;
  }
  int nIn = 0;
  int nOut = 0;
  if (!m_pMidi->SelectPorts(nIn, nOut)) {
    return;  // cancelled: nothing changes
  }
  m_pMidi->OpenInByNumber(nIn, ID_MIDI_IN_DATA, ID_MIDI_IN_STATUS);
  m_pMidi->OpenOutByNumber(nOut);
  if (m_pMidi->GetInDevice() == -1 || m_pMidi->GetOutDevice() == -1) {
    // The buttons stay as they were, so the user can choose again.
    fw::AfxMessageBox(TXT_CANT_OPEN_CHOSEN, fw::MB_OK);
    return;
  }
  PostStep(ID_MARK_PORTS_CHANGED);
  OnStepBegin();
}

}  // namespace velda
