// The two ways an installation ends by itself, and the recovery of the ports when the instrument
// restarts into update mode.
#include <string>

#include "fw/trace.h"
#include "midi/midi_ctrl.h"
#include "midi/midi_out_port.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

BOOL CInstallerDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
  if (nEventType == fw::DBT_DEVNODES_CHANGED && dwData == 0 && !m_bDevChangePending) {
    // A burst of changes gives one settle step, 10 s after the first.
    m_bDevChangePending = true;
    SetTimer(IDT_DEVICE_SETTLE, DEVICE_SETTLE_MS);
  }
  return fw::FALSE;
}

void CInstallerDlg::ClosePortsStep(UINT nMask) {
  if (m_pMidi != nullptr) {
    m_pMidi->ClosePorts(nMask);
  }
  PostStep(ID_MARK_PORTS_CHANGED);
  PostStep(ID_STEP_STOP_WAIT_TIMER);
}

void CInstallerDlg::ReopenPorts(UINT nMask) {
  if (m_pMidi != nullptr) {
    if ((nMask & PORT_IN) != 0) {
      m_pMidi->OpenInByName(DEFAULT_IN_PORT, ID_MIDI_IN_DATA, ID_MIDI_IN_STATUS);
    }
    if ((nMask & PORT_OUT) != 0) {
      m_pMidi->OpenOutByName(DEFAULT_OUT_PORT);
    }
  }
  PostStep(ID_MARK_PORTS_CHANGED);
  if (m_nWaitKind != WAIT_NONE) {
    m_nSavedWaitKind = m_nWaitKind;
    m_nWaitKind = WAIT_NONE;
    PostStep(ID_STEP_STOP_WAIT_TIMER);
  }
}

void CInstallerDlg::OnDeviceSettled() {
  if (m_nWaitKind != WAIT_MODE_ON) {
    return;
  }
  ClosePortsStep(PORT_IN | PORT_OUT);
  fw::Sleep(7500);
  ReopenPorts(PORT_IN | PORT_OUT);
  fw::Sleep(7500);
  SendModeOn();
  fw::Sleep(5000);
  SendModeOn();
}

void CInstallerDlg::OnClosePorts() { ClosePortsStep(PORT_IN | PORT_OUT); }

void CInstallerDlg::OnInstallComplete() {
  FinalReset();
  NoteOutcome(m_bEntryMissing ? EOutcome::CompletedWithErrors : EOutcome::Completed);
  for (UINT nMarker : {ID_MARK_END_1, ID_MARK_MODEL_NAME, ID_MARK_END_3, ID_MARK_END_4, ID_MARK_END_2}) {
    PostStep(nMarker);
  }
  fw::AfxMessageBox(TXT_COMPLETED, fw::MB_OK | fw::MB_ICONINFORMATION);
  fw::PostToMainWindow(fw::WM_CLOSE, 0, 0);
}

void CInstallerDlg::OnTimeoutEnd() {
  // A refused hand-over latches the output port without a word to the user; the time-out is what
  // they see, so its cause goes into the trace beside it.
  if (m_pMidi != nullptr && m_pMidi->OutPort() != nullptr && m_pMidi->OutPort()->RefusedLength() != 0) {
    TraceNote("Timed out: the MIDI driver had refused a message of " +
              std::to_string(m_pMidi->OutPort()->RefusedLength()) + " bytes (MIDI Out Error " +
              std::to_string(m_pMidi->OutPort()->Result()) + "), and nothing was sent after it");
  }
  FinalReset();
  NoteOutcome(EOutcome::TimedOut);
  for (UINT nMarker : {ID_MARK_END_1, ID_MARK_END_2, ID_MARK_MODEL_NAME, ID_MARK_END_3, ID_MARK_END_4}) {
    PostStep(nMarker);
  }
  EnableButtons();
}

}  // namespace velda
