// The update statements: each reads its arguments, plans its blocks from the entry's size and
// starts the block upload.
#include <cstdint>

#include "fw/wnd.h"
#include "protocol/upload_plan.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

constexpr int TOKEN_AT_COMMA = 1;
constexpr int TOKEN_AT_END = -1;

// Reads one numeric argument; returns the token's result (1 comma, 2 line end, -1 end of script).
int ReadHexArgument(CInstallerDlg& dlg, UINT& nValue) {
  CString strToken;
  const int nResult = dlg.ReadToken(strToken);
  strToken.TrimWhite();
  nValue = CInstallerDlg::HexToInt(strToken);
  return nResult;
}

// What every update statement asks of its entry; false when the statement ends here.
bool IsEntryReady(CInstallerDlg& dlg, const CDataEntry& entry) {
  if (entry.nSize == 0) {
    dlg.PostStep(ID_STEP_NEXT_STATEMENT);  // nothing loaded: the statement is passed over
    return false;
  }
  if (entry.strName.IsEmpty()) {
    fw::AfxMessageBox(TXT_NAMELESS_ENTRY_UPDATE, fw::MB_OK | fw::MB_ICONEXCLAMATION);
    dlg.NoteOutcome(EOutcome::ScriptError);  // the run halts here
    return false;
  }
  return true;
}

// Takes the plan and starts its first block; the Data bar gets its range before the block.
void StartUpload(CInstallerDlg& dlg, int nEntry, const CUploadPlan& upload) {
  dlg.m_aPlan[nEntry] = upload.plan;
  dlg.m_nBlockLen = 0;
  dlg.PostStep(ID_STEP_INIT_DATA_PROGRESS);
  dlg.m_nUploadBytes = upload.nUploadBytes;
  dlg.m_aEntry[nEntry].nState = 2;
  dlg.NextBlock();
}

// The end every update statement shares: the entry must be ready and the plan sound, then the
// first block goes out. fnPlan makes the plan from the entry's size.
template <class FnPlan>
void PlanAndStart(CInstallerDlg& dlg, int nEntry, FnPlan fnPlan) {
  const CDataEntry& entry = dlg.m_aEntry[nEntry];
  if (!IsEntryReady(dlg, entry)) {
    return;
  }
  const CUploadPlan upload = fnPlan(entry.nSize);
  if (upload.bScriptError) {
    dlg.ShowScriptError();
    return;
  }
  StartUpload(dlg, nEntry, upload);
}

}  // namespace

void CInstallerDlg::ExecUpdateBlock() {
  UINT nAddress = 0;
  UINT nLength = 0;
  UINT nEntry = 0;
  UINT nOffset = 0;
  if (ReadHexArgument(*this, nAddress) == TOKEN_AT_END || ReadHexArgument(*this, nLength) == TOKEN_AT_END ||
      ReadHexArgument(*this, nEntry) == TOKEN_AT_END || ReadHexArgument(*this, nOffset) == TOKEN_AT_END ||
      !IsSlotIndex(nEntry)) {
    ShowScriptError();
    return;
  }
  const int e = static_cast<int>(nEntry);
  m_nCurEntry = e;
  m_aEntry[e].nPos = nOffset;
  PlanAndStart(*this, e, [&](UINT nSize) { return PlanUpdateBlock(nAddress, nLength, nSize, nOffset); });
}

void CInstallerDlg::ExecUpdateDevice() {
  UINT nAddress = 0;
  UINT nBlockSize = 0;
  UINT nEntry = 0;
  UINT nOffset = 0;
  if (ReadHexArgument(*this, nAddress) == TOKEN_AT_END || ReadHexArgument(*this, nBlockSize) == TOKEN_AT_END) {
    ShowScriptError();
    return;
  }
  const int nEntryResult = ReadHexArgument(*this, nEntry);
  if (nEntryResult == TOKEN_AT_END ||
      (nEntryResult == TOKEN_AT_COMMA && ReadHexArgument(*this, nOffset) == TOKEN_AT_END) || !IsSlotIndex(nEntry)) {
    ShowScriptError();
    return;
  }
  const int e = static_cast<int>(nEntry);
  m_nCurEntry = e;
  m_aEntry[e].nPos = nOffset;
  PlanAndStart(*this, e, [&](UINT nSize) { return PlanUpdateDevice(nAddress, nBlockSize, nSize, nOffset); });
}

void CInstallerDlg::ExecUpdateArea() {
  UINT nAddress = 0;
  UINT nBlockSize = 0;
  UINT nUnused = 0;
  UINT nOffset = 0;
  UINT nLength = 0;
  if (ReadHexArgument(*this, nAddress) != TOKEN_AT_COMMA || ReadHexArgument(*this, nBlockSize) != TOKEN_AT_COMMA ||
      ReadHexArgument(*this, nUnused) != TOKEN_AT_COMMA || ReadHexArgument(*this, nOffset) == TOKEN_AT_END ||
      ReadHexArgument(*this, nLength) == TOKEN_AT_END) {
    ShowScriptError();
    return;
  }
  // The third argument names no entry: this statement always uploads entry 0.
  CDataEntry& entry = m_aEntry[0];
  m_nCurEntry = 0;
  entry.nPos = nOffset;
  if (std::uint64_t{nOffset} + nLength > entry.nSize) {
    ShowScriptError();
    return;
  }
  PlanAndStart(*this, 0, [&](UINT nSize) { return PlanUpdateArea(nAddress, nBlockSize, nLength, nSize, nOffset); });
}

}  // namespace velda
