// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::OnStartScript() {}
void CInstallerDlg::OnNextStatement() {}
void CInstallerDlg::OnCompareArea() {}
void CInstallerDlg::OnAreaMatch() {}
void CInstallerDlg::OnAreaMismatch() {}
void CInstallerDlg::ExecKeyword() {}
void CInstallerDlg::ExecModelName() {}
void CInstallerDlg::ExecSetUpdateDevice() {}
void CInstallerDlg::ExecOpenDataFile() {}
void CInstallerDlg::ExecAreaCheck() {}

}  // namespace velda
