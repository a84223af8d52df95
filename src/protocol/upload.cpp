// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::ExecUpdateBlock() {}
void CInstallerDlg::ExecUpdateDevice() {}
void CInstallerDlg::ExecUpdateArea() {}
void CInstallerDlg::NextBlock() {}
void CInstallerDlg::BeginBlockData() {}
void CInstallerDlg::SendDataPacket() {}
int CInstallerDlg::NextDataByte(int /*nEntry*/) { return -1; }

}  // namespace velda
