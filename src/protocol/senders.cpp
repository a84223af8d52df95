// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::SendInquiry() {}
void CInstallerDlg::SendModeOn() {}
void CInstallerDlg::SendBaudUp() {}
void CInstallerDlg::SendSetDevice(int /*nDevice*/) {}
void CInstallerDlg::SendBlockStart(const CString& /*strDigits*/) {}
void CInstallerDlg::SendWriteBlock() {}
void CInstallerDlg::SendBlockChecksum() {}
void CInstallerDlg::SendModeOff() {}
void CInstallerDlg::SendBaudReset() {}
void CInstallerDlg::SendAreaCheck() {}

}  // namespace velda
