// The two ways an installation ends by itself, and the recovery of the ports when the instrument
// restarts into update mode.
#include <string>

#include "fw/trace.h"
#include "midi/driver/midi_driver.h"
#include "midi/midi_ctrl.h"
#include "midi/midi_out_port.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

CString ReopenName(const char* pszDefault, int nDefaultDevice, const CString& strLastOpened) {
  if (nDefaultDevice >= 0 || strLastOpened.IsEmpty()) return CString(pszDefault);
  return strLastOpened;
}

}  // namespace

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
    // The instrument's own names when a device carries them, as always; otherwise the name of the
    // device last opened (a hand choice): where the instrument's ports are called otherwise (the
    // kernel's USB-MIDI driver names them "HALVEN USB MIDI 1"), the default names never come back.
    const CString strIn = ReopenName(DEFAULT_IN_PORT, FindMidiInDevice(DEFAULT_IN_PORT), m_pMidi->InName());
    const CString strOut = ReopenName(DEFAULT_OUT_PORT, FindMidiOutDevice(DEFAULT_OUT_PORT), m_pMidi->OutName());
    if ((nMask & PORT_IN) != 0) {
      m_pMidi->OpenInByName(strIn, ID_MIDI_IN_DATA, ID_MIDI_IN_STATUS);
    }
    if ((nMask & PORT_OUT) != 0) {
      m_pMidi->OpenOutByName(strOut);
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
