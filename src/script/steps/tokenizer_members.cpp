// The script readers of the installer dialog: the pure readers on the dialog's script and cursor,
// plus the steps they ask for.
#include "script/keyword_table.h"
#include "script/script_number.h"
#include "script/script_reader.h"
#include "shell/installer_dlg.h"

namespace velda {

int CInstallerDlg::ReadLine() {
  const CLineRead r = ReadScriptLine({m_strScript.View(), m_nScriptLen}, m_nScriptPos, m_strLine);
  if (r.bMarkLineRead) {
    PostStep(ID_MARK_LINE_READ);
  }
  return r.nResult;
}

void CInstallerDlg::SkipLine() { SkipScriptLine({m_strScript.View(), m_nScriptLen}, m_nScriptPos, m_strLine); }

int CInstallerDlg::ReadToken(CString& strToken) {
  const CTokenRead r = ReadScriptToken({m_strScript.View(), m_nScriptLen}, m_nScriptPos, strToken);
  if (r.bShowProgress) {
    PostStep(ID_STEP_SHOW_ALL_PROGRESS);
  }
  return r.nResult;
}

int CInstallerDlg::LookupKeyword(const CString& strToken) const { return FindKeyword(strToken); }

UINT CInstallerDlg::HexToInt(const CString& strText) { return ParseScriptHex(strText.View()); }

}  // namespace velda
