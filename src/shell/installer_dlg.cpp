// Construction, the command map and the window-message handlers of the main dialog.
#include "shell/installer_dlg.h"

#include <array>
#include <utility>

#include "midi/midi_ctrl.h"
#include "shell/installer_template.h"
#include "shell/texts.h"

namespace velda {

namespace {

using Handler = void (CInstallerDlg::*)();

// The command map: each step identifier routed to its one handler. Identifiers not listed (the
// markers and the MIDI-in status) are dropped.
constexpr std::array<std::pair<UINT, Handler>, 42> kCommandMap{{
    {ID_STEP_NEXT_STATEMENT, &CInstallerDlg::OnNextStatement},
    {ID_STEP_SEND_INQUIRY, &CInstallerDlg::SendInquiry},
    {ID_REPLY_MODE_OFF, &CInstallerDlg::OnReplyModeOff},
    {ID_REPLY_INQUIRY, &CInstallerDlg::OnReplyInquiry},
    {ID_STEP_WAIT_TICK, &CInstallerDlg::OnWaitTick},
    {ID_STEP_START_WAIT_TIMER, &CInstallerDlg::OnStartWaitTimer},
    {ID_STEP_STOP_WAIT_TIMER, &CInstallerDlg::OnStopWaitTimer},
    {ID_STEP_LOAD_PACKAGE, &CInstallerDlg::OnLoadPackage},
    {ID_STEP_START_SCRIPT, &CInstallerDlg::OnStartScript},
    {ID_STEP_START_INSTALL, &CInstallerDlg::OnStartInstall},
    {ID_REPLY_BAUD_UP, &CInstallerDlg::OnReplyBaudUp},
    {ID_REPLY_WRITE_BLOCK, &CInstallerDlg::OnReplyWriteBlock},
    {ID_REPLY_BLOCK_CHECKSUM, &CInstallerDlg::OnReplyBlockChecksum},
    {ID_REPLY_DATA_PACKET, &CInstallerDlg::OnReplyDataPacket},
    {ID_REPLY_MODE_ON, &CInstallerDlg::OnReplyModeOn},
    {ID_REPLY_SET_DEVICE, &CInstallerDlg::OnReplySetDevice},
    {ID_STEP_BEGIN_BLOCK_DATA, &CInstallerDlg::BeginBlockData},
    {ID_STEP_SEND_DATA_PACKET, &CInstallerDlg::SendDataPacket},
    {ID_STEP_WRITE_BLOCK, &CInstallerDlg::SendWriteBlock},
    {ID_STEP_INIT_ALL_PROGRESS, &CInstallerDlg::OnInitAllProgress},
    {ID_STEP_SHOW_ALL_PROGRESS, &CInstallerDlg::OnShowAllProgress},
    {ID_STEP_INIT_DATA_PROGRESS, &CInstallerDlg::OnInitDataProgress},
    {ID_STEP_SEND_BLOCK_CHECKSUM, &CInstallerDlg::SendBlockChecksum},
    {ID_REPLY_BAUD_RESET, &CInstallerDlg::OnReplyBaudReset},
    {ID_STEP_INSTALL_COMPLETE, &CInstallerDlg::OnInstallComplete},
    {ID_STEP_TIMEOUT_END, &CInstallerDlg::OnTimeoutEnd},
    {ID_STEP_ADVANCE_DATA_PROGRESS, &CInstallerDlg::OnAdvanceDataProgress},
    {ID_STEP_RESEND_DATA_PACKET, &CInstallerDlg::ResendDataPacket},
    {ID_STEP_CLOSE_PORTS, &CInstallerDlg::OnClosePorts},
    {ID_STEP_DEVICE_SETTLED, &CInstallerDlg::OnDeviceSettled},
    {ID_AREA_MATCH, &CInstallerDlg::OnAreaMatch},
    {ID_STEP_SEND_AREA_CHECK, &CInstallerDlg::SendAreaCheck},
    {ID_REPLY_AREA_CHECK, &CInstallerDlg::OnReplyAreaCheck},
    {ID_STEP_COMPARE_AREA, &CInstallerDlg::OnCompareArea},
    {ID_AREA_MISMATCH, &CInstallerDlg::OnAreaMismatch},
    {ID_REPLY_BLOCK_START, &CInstallerDlg::OnReplyBlockStart},
    {ID_STEP_BEGIN, &CInstallerDlg::OnStepBegin},
    {ID_STEP_READ_BACK_NEXT, &CInstallerDlg::OnReadBackNext},
    {ID_STEP_READ_BACK_COMPARE, &CInstallerDlg::OnReadBackCompare},
    {ID_MIDI_PORT, &CInstallerDlg::OnMidiPort},
    {ID_MIDI_IN_DATA, &CInstallerDlg::OnMidiInData},
    {static_cast<UINT>(IDC_MIDI_PORT), &CInstallerDlg::OnMidiPort},  // the MIDI Port button
}};

}  // namespace

CInstallerDlg::CInstallerDlg()
    : fw::CDialog(InstallerTemplate()),
      m_hIcon(IDR_MAINFRAME),
      m_rxAssembler(RX_BUF_SIZE),
      m_replyRing(RX_BUF_SIZE),
      m_strPackagePath(PACKAGE_NAME) {}

CInstallerDlg::~CInstallerDlg() { DestroyWindow(); }

BOOL CInstallerDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT nId = fw::LOWORD(wParam);
  for (const auto& [nMapped, pfn] : kCommandMap) {
    if (nMapped == nId) {
      (this->*pfn)();
      return fw::TRUE;
    }
  }
  return fw::CDialog::OnCommand(wParam, lParam);  // Close (IDOK) and Cancel (IDCANCEL)
}

void CInstallerDlg::DoDataExchange(bool /*bSave*/) {
  m_ctlData.Bind(this, IDC_PROGRESS_DATA);
  m_ctlAll.Bind(this, IDC_PROGRESS_ALL);
  m_strStatus = GetDlgItemText(IDC_STATUS);
}

void CInstallerDlg::SetStatus(const char* pszText) {
  SetDlgItemText(IDC_STATUS, pszText);
  UpdateDlgItem(IDC_STATUS);
}

void CInstallerDlg::NoteOutcome(EOutcome eOutcome) {
  m_eOutcome = eOutcome;
  if (m_fnOutcome) m_fnOutcome(eOutcome);
}

void CInstallerDlg::OnPaint() {
  // The front end paints the window, the minimised icon included.
}

}  // namespace velda
