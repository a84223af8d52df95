// Initialisation and end of the main window, and its progress steps.
#include <algorithm>

#include "midi/midi_ctrl.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

BOOL CInstallerDlg::OnInitDialog() {
  m_pRxBuf.reset();
  m_pAreaBuf.reset();
  m_pTxBuf.reset();
  m_pMidi.reset();
  for (CDataEntry& e : m_aEntry) {
    e.pData = nullptr;
  }

  bool bConfirmed = true;
  for (const char* pszQuestion : {TXT_QUESTION_1, TXT_QUESTION_2, TXT_QUESTION_3, TXT_QUESTION_4}) {
    if (fw::AfxMessageBox(pszQuestion, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION) != fw::IDOK) {
      bConfirmed = false;
      break;
    }
  }

  fw::CDialog::OnInitDialog();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  if (!bConfirmed) {
    NoteOutcome(EOutcome::Cancelled);
    SetTimer(IDT_START, CANCELLED_START_DELAY_MS);
    return fw::FALSE;
  }

  m_pRxBuf = std::make_unique<BYTE[]>(RX_BUF_SIZE);
  m_pAreaBuf = std::make_unique<BYTE[]>(AREA_BUF_SIZE);
  m_pTxBuf = std::make_unique<BYTE[]>(TX_BUF_SIZE);

  m_bAcceptReplies = 0;
  m_nWaitTicks = 0;
  m_nRetriesLeft = 0;
  m_bEndAfterInstall = 1;
  m_nWaitKind = WAIT_NONE;
  m_nSavedWaitKind = WAIT_NONE;
  m_nSkipState = 0;
  m_bAreaCheck = false;
  m_bMidiOk = true;
  m_strKeyword = DEFAULT_KEYWORD;
  for (CDataEntry& e : m_aEntry) {
    e.nSize = 0;
    e.pData = nullptr;
  }

  m_pMidi = std::make_unique<CMidiCtrl>();
  m_pMidi->OpenInByName(DEFAULT_IN_PORT, ID_MIDI_IN_DATA, ID_MIDI_IN_STATUS);
  m_pMidi->OpenOutByName(DEFAULT_OUT_PORT);

  fw::Sleep(5000);

  if (m_pMidi->GetInDevice() == -1 || m_pMidi->GetOutDevice() == -1) {
    fw::AfxMessageBox(TXT_CANT_OPEN_DEFAULT, fw::MB_OK);
    m_bMidiOk = false;
  }

  m_nTimerCount = 0;
  if (m_bMidiOk) {
    SetStatus(TXT_STATUS_CHANGE_MODE);
    StartDelayTimer();
  } else {
    SetStatus(TXT_STATUS_MIDI_ERROR);
    EnableButtons();
    NoteOutcome(EOutcome::PortError);  // the installer now waits for the user
  }
  m_bDevChangePending = false;
  return fw::FALSE;
}

void CInstallerDlg::OnDestroy() {
  fw::CDialog::OnDestroy();
  KillTimer(IDT_REPLY_WAIT);
  KillTimer(IDT_START);
  EndWait();
  m_pRxBuf.reset();
  m_pTxBuf.reset();
  m_pAreaBuf.reset();
  m_pMidi.reset();  // closes both ports
  for (CDataEntry& e : m_aEntry) {
    e.pData = nullptr;
  }
  m_aPackage = {};  // frees the image, which the entries pointed into
}

void CInstallerDlg::OnInitAllProgress() {
  // The range is 16 bits wide: a longer script fills the bar early.
  m_ctlAll.SendMessage(fw::PBM_SETRANGE, 0, fw::MAKELPARAM(1, fw::LOWORD(m_nScriptLen)));
  m_ctlAll.SendMessage(fw::PBM_SETSTEP, 1, 0);
}

void CInstallerDlg::OnShowAllProgress() { m_ctlAll.SendMessage(fw::PBM_SETPOS, m_nScriptPos, 0); }

void CInstallerDlg::OnInitDataProgress() {
  m_ctlData.SendMessage(fw::PBM_SETRANGE32, 0, static_cast<LPARAM>(m_nUploadBytes) + 1);
  m_ctlData.SendMessage(fw::PBM_SETSTEP, 1, 0);
  m_ctlData.SendMessage(fw::PBM_SETPOS, 0, 0);
}

void CInstallerDlg::OnAdvanceDataProgress() { m_ctlData.SendMessage(fw::PBM_DELTAPOS, m_nPacketSize, 0); }

}  // namespace velda
