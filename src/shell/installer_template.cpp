#include "shell/installer_template.h"

#include "shell/steps.h"
#include "shell/texts.h"

namespace velda {

namespace {

fw::CDialogTemplate Make() {
  using fw::EControlKind;
  fw::CDialogTemplate t;
  t.nId = IDD_INSTALLER;
  t.strCaption = TXT_WINDOW_TITLE;
  t.cx = 230;
  t.cy = 69;
  t.strFont = "System";
  t.nPointSize = 14;
  t.bSystemMenu = true;
  t.aControls = {
      fw::MakeControl(IDC_PROGRESS_ALL, EControlKind::Progress, "", 52, 8, 158, 14),
      fw::MakeControl(IDC_PROGRESS_DATA, EControlKind::Progress, "", 52, 24, 158, 14),
      fw::MakeControl(IDC_MIDI_PORT, EControlKind::Button, "MIDI Port", 105, 49, 59, 14, true, false),
      fw::MakeControl(fw::IDOK, EControlKind::Button, "Close", 170, 49, 48, 14, true, false),
      fw::MakeControl(-1, EControlKind::Static, "All", 12, 12, 32, 8),
      fw::MakeControl(-1, EControlKind::Static, "Data", 12, 28, 20, 8),
      fw::MakeControl(fw::IDCANCEL, EControlKind::Button, "Cancel", 170, 49, 48, 14, false, true),
      fw::MakeControl(-1, EControlKind::Static, "0", 52, 38, 10, 8),
      fw::MakeControl(-1, EControlKind::Static, "100%", 202, 38, 22, 8),
      fw::MakeControl(IDC_STATUS, EControlKind::Edit, "", 13, 50, 90, 12),
  };
  return t;
}

}  // namespace

const fw::CDialogTemplate& InstallerTemplate() {
  static const fw::CDialogTemplate t = Make();
  return t;
}

}  // namespace velda
