// Read-back verification (--verify): before update mode ends, every range written since it went
// on is read back with area requests and compared with the package's bytes. A difference ends
// the installation as a failure; nothing is reported as completed.
#include <algorithm>

#include "fw/trace.h"
#include "fw/wnd.h"
#include "midi/midi_ctrl.h"
#include "protocol/messages.h"
#include "protocol/read_back.h"
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::NoteWrittenBlock(UINT nAddress, UINT nLength) {
  if (!m_bVerify || !IsSlotIndex(m_nCurEntry)) return;
  const CDataEntry& entry = m_aEntry[m_nCurEntry];
  // A block that asks for more than the entry holds carries only what is there.
  const UINT nCarried = entry.nPos < entry.nSize ? std::min(nLength, entry.nSize - entry.nPos) : 0;
  AddWrittenRange(m_aWritten, {m_nDevice, nAddress, nCarried, m_nCurEntry, entry.nPos});
}

bool CInstallerDlg::StartReadBack(bool bThenModeOff) {
  if (!m_bVerify || m_aWritten.empty()) return false;
  m_bReadingBack = true;
  m_bReadBackThenModeOff = bThenModeOff;
  m_nReadBackRange = 0;
  m_nReadBackDone = 0;
  m_nReadBackBytes = 0;
  m_nReadBackDevice = m_nDevice;
  const std::uint64_t nTotal = ReadBackTotal(m_aWritten);
  TraceNote("verify: reading back " + std::to_string(nTotal) + " bytes in " + std::to_string(m_aWritten.size()) +
            " ranges");
  SetStatus(TXT_READ_BACK);
  // The Data bar counts the bytes read back; posted, so that it follows the upload's own reset.
  m_nUploadBytes = static_cast<UINT>(std::min<std::uint64_t>(nTotal, 0x7FFFFFFE));
  PostStep(ID_STEP_INIT_DATA_PROGRESS);
  PostStep(ID_STEP_READ_BACK_NEXT);
  return true;
}

void CInstallerDlg::OnReadBackNext() {
  if (!m_bReadingBack) return;
  while (m_nReadBackRange < m_aWritten.size() && m_nReadBackDone >= m_aWritten[m_nReadBackRange].nLength) {
    ++m_nReadBackRange;
    m_nReadBackDone = 0;
  }
  // Every range read back: the device the script chose is selected again, then the script goes on.
  const bool bAllRead = m_nReadBackRange >= m_aWritten.size();
  const int nWanted = bAllRead ? m_nDevice : m_aWritten[m_nReadBackRange].nDevice;
  if (nWanted != m_nReadBackDevice) {
    m_nReadBackDevice = nWanted;
    SendSetDevice(nWanted);  // its reply brings the next read-back step
    return;
  }
  if (bAllRead) {
    m_bReadingBack = false;
    m_aWritten.clear();
    TraceNote("verify: the instrument holds what was written");
    PostStep(ID_STEP_INIT_DATA_PROGRESS);  // the Data bar returns to 0
    if (m_bReadBackThenModeOff) {
      SendModeOff();
    } else {
      PostStep(ID_STEP_INSTALL_COMPLETE);
    }
    return;
  }
  m_readBackChunk = ReadBackChunk(m_aWritten[m_nReadBackRange], m_nReadBackDone);
  m_bAreaCheck = true;  // area replies are decoded only while this is set
  m_bAreaReplyTaken = false;
  PostStep(ID_MARK_AREA_CHECK_SENT);
  const CSysEx msg = BuildAreaCheck(m_readBackChunk.nLength, m_readBackChunk.nAddress);
  if (m_pMidi != nullptr && !msg.empty()) m_pMidi->SendLongMsg(msg.data(), static_cast<UINT>(msg.size()));
  ArmWait(WAIT_AREA_CHECK, WAIT_TICKS_DEFAULT);
}

void CInstallerDlg::OnReadBackCompare() {
  if (!m_bReadingBack) return;
  EndWait();
  const CWrittenRange& chunk = m_readBackChunk;
  const CDataEntry& entry = m_aEntry[chunk.nEntry];
  const std::span<const BYTE> aReceived(m_pAreaBuf.get(), std::min(m_nAreaBytes, AREA_BUF_SIZE));
  const std::span<const BYTE> aExpected(entry.pData + chunk.nEntryOffset, chunk.nLength);
  const long nAt = FirstDifference(aReceived, aExpected);
  if (nAt >= 0) {
    const auto nIndex = static_cast<UINT>(nAt);
    const int nActual = nIndex < aReceived.size() ? aReceived[nIndex] : -1;
    m_bReadingBack = false;
    TraceNote("verify: difference at device " + std::to_string(chunk.nDevice) + " address " +
              std::to_string(chunk.nAddress + nIndex));
    NoteOutcome(EOutcome::VerifyFailed);
    fw::AfxMessageBox(ReadBackFailureText(chunk, entry.strName.Str(), nIndex, aExpected[nIndex], nActual).c_str(),
                      fw::MB_OK | fw::MB_ICONSTOP);
    PostStep(ID_STEP_STOP_WAIT_TIMER);
    fw::PostToMainWindow(fw::WM_CLOSE, 0, 0);
    return;
  }
  m_nReadBackDone += chunk.nLength;
  m_nReadBackBytes += chunk.nLength;
  m_ctlData.SendMessage(fw::PBM_SETPOS, static_cast<WPARAM>(std::min<std::uint64_t>(m_nReadBackBytes, 0x7FFFFFFF)), 0);
  PostStep(ID_STEP_READ_BACK_NEXT);
}

}  // namespace velda
