// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

int CInstallerDlg::ReadLine() { return -1; }
void CInstallerDlg::SkipLine() {}
int CInstallerDlg::ReadToken(CString& /*strToken*/) { return -1; }
int CInstallerDlg::LookupKeyword(const CString& /*strToken*/) const { return 14; }
UINT CInstallerDlg::HexToInt(const CString& /*strText*/) { return 0; }

}  // namespace velda
