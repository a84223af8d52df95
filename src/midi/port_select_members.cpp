// PLACEHOLDER: replaced by the real implementation.
#include "shell/installer_dlg.h"

namespace velda {

void CInstallerDlg::OnMidiPort() {}

}  // namespace velda
