// Posting steps, the reply-wait primitive, the timers and the start of an installation.
#include "midi/midi_ctrl.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

int CInstallerDlg::PostStep(UINT nId, LPARAM lParam) {
  // Works from any thread: the driver's callback posts through here too.
  return fw::PostToMainWindow(fw::WM_COMMAND, nId, lParam) != 0 ? 1 : 0;
}

void CInstallerDlg::ArmWait(int nKind, int nLimit) {
  m_nWaitTicks = nLimit;
  m_nWaitKind = nKind & 0xFF;
  const int nStopped = PostStep(ID_STEP_STOP_WAIT_TIMER);
  const int nStarted = PostStep(ID_STEP_START_WAIT_TIMER);
  if (nStopped == 0 || nStarted == 0) {
    m_nWaitKind = WAIT_NONE;
  }
}

void CInstallerDlg::EndWait() {
  PostStep(ID_STEP_STOP_WAIT_TIMER);
  m_nWaitKind = WAIT_NONE;
}

void CInstallerDlg::EnableButtons() {
  EnableDlgItem(IDC_MIDI_PORT, true);
  UpdateDlgItem(IDC_MIDI_PORT);
  EnableDlgItem(fw::IDOK, true);
  UpdateDlgItem(fw::IDOK);
}

void CInstallerDlg::DisableButtons() {
  EnableDlgItem(IDC_MIDI_PORT, false);
  UpdateDlgItem(IDC_MIDI_PORT);
  EnableDlgItem(fw::IDOK, false);
  UpdateDlgItem(fw::IDOK);
}

void CInstallerDlg::StartDelayTimer() {
  SetTimer(IDT_START, START_DELAY_MS);
  ++m_nTimerCount;
}

void CInstallerDlg::ShowScriptError() {
  if (fw::AfxGetApp() == nullptr || fw::AfxGetApp()->GetMainHwnd() == 0) {
    return;
  }
  fw::AfxMessageBox(TXT_SCRIPT_ERROR, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  NoteOutcome(EOutcome::ScriptError);  // the run halts here
}

void CInstallerDlg::OnStartWaitTimer() {
  SetTimer(IDT_REPLY_WAIT, REPLY_WAIT_PERIOD_MS);
  ++m_nTimerCount;
}

void CInstallerDlg::OnStopWaitTimer() {
  if (m_nTimerCount != 0) {
    KillTimer(IDT_REPLY_WAIT);
    m_nTimerCount = 0;
  }
}

void CInstallerDlg::OnTimer(UINT_PTR nIDEvent) {
  if (fw::AfxGetApp() == nullptr || fw::AfxGetApp()->GetMainHwnd() == 0) {
    return;
  }
  switch (nIDEvent) {
    case IDT_REPLY_WAIT:
      PostStep(ID_STEP_WAIT_TICK);
      break;
    case IDT_START:
      PostStep(ID_STEP_BEGIN);
      KillTimer(IDT_START);
      break;
    case IDT_DEVICE_SETTLE:
      m_bDevChangePending = false;
      PostStep(ID_STEP_DEVICE_SETTLED);
      KillTimer(IDT_DEVICE_SETTLE);
      break;
    default:
      break;
  }
}

void CInstallerDlg::OnStepBegin() {
  if (m_pRxBuf == nullptr) {
    // The start was cancelled: the window goes.
    fw::PostToMainWindow(fw::WM_CLOSE, 0, 0);
    return;
  }
  DisableButtons();
  PostStep(ID_STEP_START_INSTALL);
  SetStatus(TXT_STATUS_START);
}

void CInstallerDlg::OnStartInstall() {
  if (m_pMidi == nullptr) {
    fw::AfxMessageBox(TXT_CANT_OPEN_DEFAULT, fw::MB_OK);
    NoteOutcome(EOutcome::PortError);
    return;
  }
  m_bEntryMissing = false;
  NoteOutcome(EOutcome::None);  // a new run: nothing is decided yet
  PostStep(ID_STEP_SEND_INQUIRY);
  m_bAcceptReplies = 1;
}

}  // namespace velda
