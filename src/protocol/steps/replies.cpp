// Waiting for the instrument: the 500 ms tick with its resends and time-out, the assembly of
// received messages into replies, and the handler of each reply.
#include <algorithm>
#include <string>

#include "fw/msgloop.h"
#include "fw/trace.h"
#include "fw/wnd.h"
#include "midi/midi_ctrl.h"
#include "protocol/area_reply.h"
#include "protocol/messages.h"
#include "protocol/reply_table.h"
#include "protocol/steps/reply_steps.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

// Each reply costs a short pause on the installer thread before its step is posted.
constexpr UINT REPLY_PAUSE_MS = 15;

bool HaveMainWindow() {
  const fw::CWinApp* pApp = fw::AfxGetApp();
  return pApp != nullptr && pApp->GetMainHwnd() != 0;
}

void Send(CMidiCtrl* pMidi, const CSysEx& msg) {
  if (pMidi != nullptr) {
    pMidi->SendLongMsg(msg.data(), static_cast<UINT>(msg.size()));
  }
}

}  // namespace

void CInstallerDlg::OnWaitTick() {
  if (m_nWaitKind < WAIT_INQUIRY || m_nWaitKind > WAIT_AREA_CHECK || m_nWaitKind == WAIT_FINAL_RESET) {
    return;
  }
  if (m_nWaitKind == WAIT_INQUIRY) {
    Send(m_pMidi.get(), BuildInquiry());
  }
  // Counting stops at 0: a wait found with no ticks left times out now, not never.
  if (--m_nWaitTicks > 0) {
    return;
  }
  TraceNote("time-out waiting for reply kind " + std::to_string(m_nWaitKind));
  PostStep(ID_STEP_STOP_WAIT_TIMER);
  // The wait ends before the box shows: a reply that comes while the user reads it is late and
  // must not move the installation on behind the time-out.
  m_nWaitKind = WAIT_NONE;
  fw::AfxMessageBox(TXT_TIME_OUT, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  PostStep(ID_STEP_TIMEOUT_END);
}

void CInstallerDlg::OnMidiInData() {
  if (m_pMidi == nullptr) {
    return;
  }
  // The assembler keeps a message's bytes across drains; each complete message comes out once.
  for (int nByte = m_pMidi->GetInByte(); nByte != -1; nByte = m_pMidi->GetInByte()) {
    if (m_rxAssembler.Put(static_cast<BYTE>(nByte))) {
      const std::vector<BYTE>& aMsg = m_rxAssembler.Message();
      TraceReceived(aMsg.data(), aMsg.size());
      DispatchReply(aMsg);
    }
  }
}

void CInstallerDlg::DispatchReply(const std::vector<BYTE>& aMsg) {
  if (!IsReplyHeader(aMsg.data(), aMsg.size())) {
    return;
  }
  if (m_bAcceptReplies == 0 || !HaveMainWindow()) {
    return;
  }
  fw::Sleep(REPLY_PAUSE_MS);
  const UINT nStep = ReplyStepFor(ClassifyReply(aMsg.data(), aMsg.size()));
  if (nStep == 0) {
    return;
  }
  // The reply's bytes wait in the ring until its own step runs and takes them. A reply the ring
  // has no room for is dropped before its step is posted, so that steps and replies stay paired.
  const bool bKeep = ReplyStepHasHandler(nStep);
  if (bKeep && m_replyRing.IsFull()) {
    TraceNote("reply dropped: every reply buffer waits for its step");
    return;
  }
  if (PostStep(nStep) != 0 && bKeep) {
    m_replyRing.Push(aMsg.data(), aMsg.size());
  }
}

bool CInstallerDlg::TakeReply() {
  if (m_replyRing.IsEmpty()) {
    return false;
  }
  const std::size_t n = m_replyRing.PopInto(m_pRxBuf.get(), m_pRxBuf != nullptr ? RX_BUF_SIZE : 0);
  if (m_pRxBuf == nullptr) {
    return false;
  }
  m_nRxLen = static_cast<UINT>(n);
  return true;
}

void CInstallerDlg::OnReplyInquiry() {
  if (!TakeReply() || m_nWaitKind != WAIT_INQUIRY) {
    return;
  }
  EndWait();
  PostStep(ID_MARK_INQUIRY_OK);
  PostStep(ID_STEP_LOAD_PACKAGE);
}

void CInstallerDlg::OnReplyModeOn() {
  if (!TakeReply() || m_nWaitKind != WAIT_MODE_ON) {
    return;
  }
  EndWait();
  m_aWritten.clear();  // the read-back covers what this update mode writes
  PostStep(ID_MARK_MODE_ON_OK);
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::OnReplyModeOff() {
  if (!TakeReply() || m_nWaitKind != WAIT_MODE_OFF) {
    return;
  }
  EndWait();
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::OnReplyBaudUp() {
  if (!TakeReply() || m_nWaitKind != WAIT_BAUD_UP) {
    return;
  }
  EndWait();
  if (ReplyStatus(m_pRxBuf.get(), m_nRxLen) != STATUS_ACCEPTED) {
    Refuse(ID_MARK_BAUD_UP_REPLY);
    return;
  }
  PostStep(ID_MARK_BAUD_UP_REPLY);
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::OnReplySetDevice() {
  if (!TakeReply() || m_nWaitKind != WAIT_SET_DEVICE) {
    return;
  }
  EndWait();
  if (ReplyStatus(m_pRxBuf.get(), m_nRxLen) != STATUS_ACCEPTED) {
    Refuse(ID_MARK_SET_DEVICE_REPLY);
    return;
  }
  PostStep(ID_MARK_SET_DEVICE_REPLY);
  PostStep(ResumeStep());
}

void CInstallerDlg::OnReplyBlockStart() {
  if (!TakeReply() || m_nWaitKind != WAIT_BLOCK_START) {
    return;
  }
  EndWait();
  if (ReplyStatus(m_pRxBuf.get(), m_nRxLen) != STATUS_ACCEPTED) {
    Refuse(ID_MARK_BLOCK_START_REPLY);
    return;
  }
  PostStep(ID_MARK_BLOCK_START_REPLY);
  PostStep(ID_STEP_BEGIN_BLOCK_DATA);
}

void CInstallerDlg::OnReplyDataPacket() {
  if (!TakeReply() || m_nWaitKind != WAIT_DATA_PACKET) {
    return;
  }
  EndWait();
  const BYTE nStatus = ReplyStatus(m_pRxBuf.get(), m_nRxLen);
  if (nStatus == STATUS_ACCEPTED) {
    PostStep(ID_STEP_SEND_DATA_PACKET);
  } else if (nStatus == STATUS_RESEND) {
    PostStep(ID_STEP_RESEND_DATA_PACKET);
  } else {
    Refuse(ID_MARK_UPLOAD_FAILED);
  }
}

void CInstallerDlg::OnReplyWriteBlock() {
  if (!TakeReply() || m_nWaitKind != WAIT_WRITE_BLOCK) {
    return;
  }
  EndWait();
  if (ReplyStatus(m_pRxBuf.get(), m_nRxLen) != STATUS_ACCEPTED) {
    Refuse(ID_MARK_WRITE_BLOCK_REPLY);
    return;
  }
  PostStep(ID_MARK_WRITE_BLOCK_REPLY);
  PostStep(ID_STEP_SEND_BLOCK_CHECKSUM);
}

void CInstallerDlg::OnReplyBlockChecksum() {
  if (!TakeReply() || m_nWaitKind != WAIT_BLOCK_CHECKSUM) {
    return;
  }
  EndWait();
  if (ReplyStatus(m_pRxBuf.get(), m_nRxLen) != STATUS_ACCEPTED) {
    Refuse(ID_MARK_CHECKSUM_REPLY);
    return;
  }
  SetStatus(TXT_STATUS_BLOCK_SUM_OK);
  NextBlock();
}

void CInstallerDlg::OnReplyBaudReset() {
  if (!TakeReply() || m_nWaitKind != WAIT_BAUD_RESET) {
    return;
  }
  EndWait();
  if (ReplyStatus(m_pRxBuf.get(), m_nRxLen) != STATUS_ACCEPTED) {
    Refuse(ID_MARK_BAUD_RESET_REPLY);
    return;
  }
  PostStep(ID_MARK_BAUD_RESET_REPLY);
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::OnReplyAreaCheck() {
  const bool bHaveReply = TakeReply();
  // Only the first answer to the pending request is decoded; the wait stays armed after it.
  if (bHaveReply && m_bAreaCheck && m_nWaitKind == WAIT_AREA_CHECK && !m_bAreaReplyTaken && m_pAreaBuf != nullptr) {
    m_bAreaReplyTaken = true;
    const CAreaDecodeResult result = DecodeAreaReply(m_pRxBuf.get(), m_nRxLen, m_pAreaBuf.get(), AREA_BUF_SIZE);
    m_nAreaBytes = static_cast<UINT>(result.nBytes);
    PostStep(m_bReadingBack ? ID_STEP_READ_BACK_COMPARE : ID_STEP_COMPARE_AREA);
  }
  PostStep(ID_MARK_AREA_CHECK_REPLY);
}

void CInstallerDlg::ResendDataPacket() {
  if (m_nRetriesLeft == 0 || m_pTxBuf == nullptr) {
    // The instrument keeps rejecting the same packet: the upload cannot succeed.
    Refuse(ID_MARK_UPLOAD_FAILED);
    return;
  }
  if (m_pMidi != nullptr) {
    m_pMidi->SendLongMsg(m_pTxBuf.get(), m_nTxLen);
  }
  ArmWait(WAIT_DATA_PACKET, WAIT_TICKS_DEFAULT);
  --m_nRetriesLeft;
  PostStep(ID_MARK_RESENT);
}

void CInstallerDlg::FinalReset() {
  m_nWaitKind = WAIT_NONE;
  m_nWaitTicks = 0;
  m_strKeyword.Empty();
  PostStep(ID_STEP_STOP_WAIT_TIMER);
  Send(m_pMidi.get(), BuildBaudReset());
  // Armed so that the tick runs, but ticks leave this kind alone: it never times out.
  ArmWait(WAIT_FINAL_RESET, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::Refuse(UINT nMarker) {
  PostStep(nMarker);
  TraceNote("the instrument refused the request");
  NoteOutcome(EOutcome::Refused);
  fw::AfxMessageBox(TXT_REFUSED, fw::MB_OK | fw::MB_ICONSTOP);
  PostStep(ID_STEP_STOP_WAIT_TIMER);
  fw::PostToMainWindow(fw::WM_CLOSE, 0, 0);
}

}  // namespace velda
