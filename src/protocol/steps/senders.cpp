// The request senders: each hands one finished message to the output port and arms the wait
// for its reply, in the order the instrument's handshake expects.
#include "midi/midi_ctrl.h"
#include "protocol/messages.h"
#include "protocol/upload_plan.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

// The result of a send is not looked at: a request that never arrives shows as a time-out.
void Send(CMidiCtrl* pMidi, const CSysEx& msg) {
  if (pMidi != nullptr && !msg.empty()) {
    pMidi->SendLongMsg(msg.data(), static_cast<UINT>(msg.size()));
  }
}

}  // namespace

void CInstallerDlg::SendInquiry() {
  Send(m_pMidi.get(), BuildInquiry());
  PostStep(ID_MARK_INQUIRY_SENT);
  ArmWait(WAIT_INQUIRY, WAIT_TICKS_INQUIRY);
}

void CInstallerDlg::SendModeOn() {
  // A keyword that does not fit its message or carries bytes of 80 hex or more would break the
  // frame: the script is at fault, and nothing goes out.
  if (!IsSendableKeyword(m_strKeyword)) {
    ShowScriptError();
    return;
  }
  PostStep(ID_MARK_MODE_ON_SENT);
  Send(m_pMidi.get(), BuildModeOn(m_strKeyword));
  ArmWait(WAIT_MODE_ON, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendBaudUp() {
  PostStep(ID_MARK_BAUD_UP_SENT);
  Send(m_pMidi.get(), BuildBaudUp());
  ArmWait(WAIT_BAUD_UP, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendSetDevice(int nDevice) {
  if (!IsSendableDevice(nDevice)) {
    ShowScriptError();
    return;
  }
  PostStep(ID_MARK_SET_DEVICE_SENT);
  Send(m_pMidi.get(), BuildSetDevice(nDevice));
  ArmWait(WAIT_SET_DEVICE, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendBlockStart(const CString& strDigits) {
  PostStep(ID_MARK_BLOCK_START_SENT);
  Send(m_pMidi.get(), BuildBlockStart(strDigits));
  ArmWait(WAIT_BLOCK_START, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendWriteBlock() {
  PostStep(ID_MARK_WRITE_BLOCK_SENT);
  Send(m_pMidi.get(), BuildWriteBlock());
  ArmWait(WAIT_WRITE_BLOCK, WAIT_TICKS_WRITE_BLOCK);
  SetStatus(TXT_STATUS_WRITE_BLOCK);
}

void CInstallerDlg::SendBlockChecksum() {
  PostStep(ID_MARK_CHECKSUM_SENT);
  UINT nAddress = 0;
  if (IsSlotIndex(m_nCurEntry)) {
    nAddress = StartedBlockAddress(m_aPlan[m_nCurEntry]);
  }
  const CSysEx msg = BuildBlockChecksum(nAddress, m_nBlockLen, m_nBlockSum);
  m_nBlockLen = 0;
  Send(m_pMidi.get(), msg);
  ArmWait(WAIT_BLOCK_CHECKSUM, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendModeOff() {
  Send(m_pMidi.get(), BuildModeOff());
  ArmWait(WAIT_MODE_OFF, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendBaudReset() {
  PostStep(ID_MARK_BAUD_RESET_SENT);
  Send(m_pMidi.get(), BuildBaudReset());
  ArmWait(WAIT_BAUD_RESET, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::SendAreaCheck() {
  PostStep(ID_MARK_AREA_CHECK_SENT);
  // A new request: its reply is the one to decode.
  m_bAreaReplyTaken = false;
  Send(m_pMidi.get(), BuildAreaCheck(m_nCheckLength, m_nCheckAddress));
  ArmWait(WAIT_AREA_CHECK, WAIT_TICKS_DEFAULT);
}

}  // namespace velda
