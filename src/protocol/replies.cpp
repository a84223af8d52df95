// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::OnWaitTick() {}
void CInstallerDlg::OnMidiInData() {}
void CInstallerDlg::DispatchReply(const std::vector<BYTE>& /*aMsg*/) {}
bool CInstallerDlg::TakeReply() { return false; }
void CInstallerDlg::OnReplyInquiry() {}
void CInstallerDlg::OnReplyModeOn() {}
void CInstallerDlg::OnReplyModeOff() {}
void CInstallerDlg::OnReplyBaudUp() {}
void CInstallerDlg::OnReplySetDevice() {}
void CInstallerDlg::OnReplyBlockStart() {}
void CInstallerDlg::OnReplyDataPacket() {}
void CInstallerDlg::OnReplyWriteBlock() {}
void CInstallerDlg::OnReplyBlockChecksum() {}
void CInstallerDlg::OnReplyBaudReset() {}
void CInstallerDlg::OnReplyAreaCheck() {}
void CInstallerDlg::ResendDataPacket() {}
void CInstallerDlg::FinalReset() {}
void CInstallerDlg::Refuse(UINT /*nMarker*/) {}

}  // namespace velda
