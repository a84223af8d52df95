// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::OnLoadPackage() {}
UINT CInstallerDlg::ReadU32() { return 0; }
UINT CInstallerDlg::CopyBytes(BYTE* /*pDst*/, UINT /*n*/) { return 0; }
BOOL CInstallerDlg::FindEntry(const CString& /*strName*/) { return 0; }
void CInstallerDlg::ResetEntries() {}
void CInstallerDlg::ReportPackageError(const std::string& /*strWhat*/) {}

}  // namespace velda
