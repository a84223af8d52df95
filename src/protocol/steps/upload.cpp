// The block upload: each planned block goes through block start, data packets, write block and
// block checksum, one acknowledged request at a time.
#include <cstdint>

#include "midi/midi_ctrl.h"
#include "protocol/messages.h"
#include "protocol/upload_plan.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

constexpr std::uint8_t PACKET_RESENDS = 3;

}  // namespace

void CInstallerDlg::NextBlock() {
  m_nBlockSum = 0;
  UINT nAddress = 0;
  UINT nLength = 0;
  if (!IsSlotIndex(m_nCurEntry) ||
      !PlanBlockAt(m_aPlan[m_nCurEntry], m_aPlan[m_nCurEntry].nCurBlock, nAddress, nLength) || nLength == 0) {
    // The upload is finished: the script goes on and the Data bar returns to 0.
    PostStep(ID_STEP_NEXT_STATEMENT);
    PostStep(ID_STEP_INIT_DATA_PROGRESS);
    return;
  }
  m_nBlockLen = nLength;
  NoteWrittenBlock(nAddress, nLength);
  SendBlockStart(BlockStartDigits(nAddress, nLength));
  ++m_aPlan[m_nCurEntry].nCurBlock;
  SetStatus(TXT_STATUS_UPLOAD);
}

void CInstallerDlg::BeginBlockData() {
  if (!IsSlotIndex(m_nCurEntry)) {
    return;
  }
  const CPacketSplit split = SplitBlock(StartedBlockLength(m_aPlan[m_nCurEntry]), PACKET_DATA_SIZE);
  m_nPacketOffset = 0;
  m_nPacketSize = PACKET_DATA_SIZE;
  m_nPacketCount = split.nCount;
  m_nLastPacketSize = split.nLast;
  m_nPacketsSent = 0;
  PostStep(ID_MARK_BLOCK_DATA);
  PostStep(ID_STEP_SEND_DATA_PACKET);
}

void CInstallerDlg::SendDataPacket() {
  CPacketSplit split;
  split.nCount = m_nPacketCount;
  split.nLast = m_nLastPacketSize;
  const UINT nPlanned = PacketLengthAt(split, m_nPacketsSent, PACKET_DATA_SIZE);
  if (nPlanned == 0) {
    PostStep(ID_STEP_WRITE_BLOCK);
    return;
  }
  if (m_pTxBuf == nullptr) {
    return;
  }
  CDataPacketWriter writer(m_pTxBuf.get());
  for (UINT i = 0; i < nPlanned; ++i) {
    const int nByte = NextDataByte(m_nCurEntry);
    if (nByte < 0) {
      break;  // the entry ended early; the length field still announces the planned length
    }
    writer.Put(static_cast<BYTE>(nByte));
  }
  m_nTxLen = static_cast<UINT>(writer.Finish(nPlanned, m_nPacketOffset));
  m_nPacketOffset += nPlanned;
  ++m_nPacketsSent;
  PostStep(ID_STEP_ADVANCE_DATA_PROGRESS);
  if (m_pMidi != nullptr) {
    m_pMidi->SendLongMsg(m_pTxBuf.get(), m_nTxLen);
  }
  ArmWait(WAIT_DATA_PACKET, WAIT_TICKS_DEFAULT);
  m_nRetriesLeft = PACKET_RESENDS;
}

int CInstallerDlg::NextDataByte(int nEntry) {
  if (!IsSlotIndex(nEntry)) {
    return -1;
  }
  CDataEntry& entry = m_aEntry[nEntry];
  if (entry.pData == nullptr || entry.nPos >= entry.nSize) {
    return -1;
  }
  const BYTE nByte = entry.pData[entry.nPos++];
  m_nBlockSum += nByte;
  return nByte;
}

}  // namespace velda
