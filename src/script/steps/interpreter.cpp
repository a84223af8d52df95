// The statement interpreter: one script statement per step 10102, the conditional blocks, and the
// statements that change the installer's state or check an area of the instrument.
#include <algorithm>
#include <memory>
#include <span>

#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "script/area_compare.h"
#include "script/conditional.h"
#include "script/keyword_table.h"
#include "script/package_reader.h"
#include "script/script_number.h"
#include "script/script_reader.h"
#include "shell/installer_dlg.h"
#include "shell/texts.h"

namespace velda {

namespace {

constexpr fw::UINT BOX_EXCLAMATION = fw::MB_OK | fw::MB_ICONEXCLAMATION;

// An entry's data settles before the next statement may use it.
constexpr fw::UINT ENTRY_LOAD_PAUSE_MS = 100;

}  // namespace

void CInstallerDlg::OnStartScript() {
  m_nScriptPos = 0;
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::OnNextStatement() {
  const int nLine = ReadLine();
  if (nLine == LINE_PASSED_OVER) {
    PostStep(ID_STEP_NEXT_STATEMENT);
    return;
  }
  if (nLine == LINE_AT_END) {
    if (!StartReadBack(false)) PostStep(ID_STEP_INSTALL_COMPLETE);
    return;
  }

  CString strKeyword;
  const int nTokenResult = ReadToken(strKeyword);
  const int nStatement = LookupKeyword(strKeyword);
  const CStatementScreen screen = ScreenStatement(m_nSkipState, nStatement, nTokenResult);
  m_nSkipState = screen.nNextState;
  if (!screen.bExecute) {
    if (screen.bSkipRestOfLine) {
      SkipLine();
    }
    PostStep(ID_STEP_NEXT_STATEMENT);
    return;
  }

  switch (nStatement) {
    case STMT_KEYWORD:
      ExecKeyword();
      break;
    case STMT_SET_UPDATE_MODE_ON:
      SendModeOn();
      break;
    case STMT_SET_UPDATE_MODE_OFF:
      if (!StartReadBack(true)) SendModeOff();
      break;
    case STMT_UP_BAUDRATE:
      SendBaudUp();
      break;
    case STMT_RESET_BAUDRATE:
      SendBaudReset();
      break;
    case STMT_MODEL_NAME:
      ExecModelName();
      break;
    case STMT_SET_UPDATE_DEVICE:
      ExecSetUpdateDevice();
      break;
    case STMT_OPEN_DATA_FILE:
      ExecOpenDataFile();
      break;
    case STMT_UPDATE_DEVICE:
      ExecUpdateDevice();
      break;
    case STMT_UPDATE_BLOCK:
      ExecUpdateBlock();
      break;
    case STMT_UPDATE_AREA:
      ExecUpdateArea();
      break;
    case STMT_IF:
      m_nSkipState = SKIP_IF_SEEN;
      PostStep(ID_STEP_NEXT_STATEMENT);
      break;
    case STMT_AREA_CHECK:
      ExecAreaCheck();
      break;
    case STMT_ENDIF:  // outside a skipped block ENDIF changes nothing
    default:          // an unknown keyword is passed over silently
      PostStep(ID_STEP_NEXT_STATEMENT);
      break;
  }
}

void CInstallerDlg::ExecKeyword() {
  const int nResult = ReadToken(m_strKeyword);
  m_strKeyword = KeywordArgument(m_strKeyword);
  if (nResult == TOKEN_AT_END) {
    m_strKeyword.Empty();
  }
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::ExecModelName() {
  CString strModel;
  ReadToken(strModel);  // names the instrument for people reading the script; nothing uses it
  PostStep(ID_MARK_MODEL_NAME);
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::ExecSetUpdateDevice() {
  CString strDevice;
  if (ReadToken(strDevice) == TOKEN_AT_END) {
    ShowScriptError();
    return;
  }
  m_nDevice = static_cast<int>(NumericArgument(strDevice));
  CString strLabel;
  if (ReadToken(strLabel) == TOKEN_AT_END) {
    ShowScriptError();
    return;
  }
  SendSetDevice(m_nDevice);
}

void CInstallerDlg::ExecOpenDataFile() {
  CString strSlot;
  ReadToken(strSlot);
  const UINT nSlot = NumericArgument(strSlot);
  CString strName;
  ReadToken(strName);
  if (!IsSlotIndex(nSlot)) {
    ShowScriptError();  // the table has no such slot: nothing may be written anywhere
    return;
  }

  CDataEntry& entry = m_aEntry[nSlot];
  if (entry.strName.IsEmpty()) {
    const CString strLower = EntryNameArgument(strName);
    bool bLoaded = false;
    if (FindEntry(strLower) && FitsInPackage(m_nPackageSize, m_nPackagePos, 4)) {
      const UINT nSize = ReadU32();
      // Data that would pass the end of the package is never loaded: the slot stays free rather
      // than holding bytes that were not in the file.
      if (FitsInPackage(m_nPackageSize, m_nPackagePos, nSize)) {
        entry.strName = strLower;
        entry.nSize = nSize;
        entry.pData = m_aPackage.data() + m_nPackagePos;
        m_nPackagePos += nSize;
        bLoaded = true;
      }
    }
    if (bLoaded) {
      fw::Sleep(ENTRY_LOAD_PAUSE_MS);
      PostStep(ID_MARK_DATA_FILE_OPENED);
    } else {
      fw::AfxMessageBox(TXT_DATA_FILE_OPEN_ERROR, BOX_EXCLAMATION);
      m_bEntryMissing = true;  // the run goes on, but cannot end as plainly completed
    }
  }
  // A filled slot is rewound: its next upload starts again from its first byte.
  entry.nPos = 0;
  entry.nState = 0;
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::ExecAreaCheck() {
  UINT nEntry = 0;
  for (int nArg = 0; nArg < 4; ++nArg) {
    CString strArg;
    if (ReadToken(strArg) == TOKEN_AT_END) {
      ShowScriptError();
      return;
    }
    const UINT nValue = NumericArgument(strArg);
    switch (nArg) {
      case 0:
        nEntry = nValue;
        if (IsSlotIndex(nValue)) {
          m_nCheckEntry = static_cast<int>(nValue);
        }
        break;
      case 1:
        m_nCheckOffset = nValue;
        break;
      case 2:
        m_nCheckAddress = nValue;
        break;
      default:
        m_nCheckLength = nValue;
        break;
    }
  }
  if (!IsSlotIndex(nEntry)) {
    ShowScriptError();  // the table has no such slot
    return;
  }

  const CDataEntry& entry = m_aEntry[m_nCheckEntry];
  if (entry.nSize == 0) {
    PostStep(ID_STEP_NEXT_STATEMENT);  // nothing to compare with: the block's statements run
    return;
  }
  if (entry.strName.IsEmpty()) {
    fw::AfxMessageBox(TXT_NAMELESS_ENTRY_CHECK, BOX_EXCLAMATION);
    NoteOutcome(EOutcome::ScriptError);  // the run halts here
    return;
  }
  if (!AreaCheckFits(entry.nSize, m_nCheckOffset, m_nCheckLength)) {
    // Bytes that cannot be compared are taken as different, so the area gets written.
    PostStep(ID_AREA_MISMATCH);
    return;
  }
  m_bAreaCheck = true;
  PostStep(ID_STEP_SEND_AREA_CHECK);
}

void CInstallerDlg::OnCompareArea() {
  bool bMatch = false;
  if (IsSlotIndex(m_nCheckEntry)) {
    const CDataEntry& entry = m_aEntry[m_nCheckEntry];
    const std::span<const BYTE> aReceived =
        m_pAreaBuf ? std::span<const BYTE>(m_pAreaBuf.get(), std::min(m_nAreaBytes, AREA_BUF_SIZE))
                   : std::span<const BYTE>();
    const std::span<const BYTE> aExpected =
        entry.pData != nullptr ? std::span<const BYTE>(entry.pData, entry.nSize) : std::span<const BYTE>();
    bMatch = AreaMatches(aReceived, aExpected, m_nCheckOffset, m_nCheckLength);
  }
  PostStep(bMatch ? ID_AREA_MATCH : ID_AREA_MISMATCH);
}

void CInstallerDlg::OnAreaMatch() {
  m_nSkipState = SkipStateAfterMatch(m_nSkipState);
  PostStep(ID_STEP_NEXT_STATEMENT);
}

void CInstallerDlg::OnAreaMismatch() {
  if (IsSlotIndex(m_nCheckEntry)) {
    m_aEntry[m_nCheckEntry].nState = 2;  // to be written
  }
  PostStep(ID_STEP_NEXT_STATEMENT);
}

}  // namespace velda
