#include "midi/port_select_dlg.h"

#include <string>

#include "midi/driver/midi_driver.h"
#include "shell/resource.h"

namespace velda {

namespace {

fw::CDialogTemplate Make() {
  using fw::EControlKind;
  fw::CDialogTemplate t;
  t.nId = IDD_PORT_SELECT;
  t.strCaption = "MIDI Port Select";
  t.cx = 187;
  t.cy = 118;
  t.strFont = "System";
  t.nPointSize = 14;
  t.bSystemMenu = false;
  fw::CControlTemplate ok = fw::MakeControl(fw::IDOK, EControlKind::Button, "OK", 60, 100, 50, 14);
  ok.bDefault = true;
  t.aControls = {
      ok,
      fw::MakeControl(fw::IDCANCEL, EControlKind::Button, "Cancel", 120, 100, 50, 14),
      fw::MakeControl(IDC_DEVICE, EControlKind::Combo, "", 12, 16, 160, 36, true, false),
      fw::MakeControl(IDC_IN_PORT, EControlKind::Combo, "", 12, 44, 160, 40),
      fw::MakeControl(IDC_OUT_PORT, EControlKind::Combo, "", 12, 76, 160, 44),
      fw::MakeControl(-1, EControlKind::Static, "Device", 12, 8, 28, 8),
      fw::MakeControl(-1, EControlKind::Static, "In Port", 12, 36, 32, 8),
      fw::MakeControl(-1, EControlKind::Static, "Out Port", 12, 68, 32, 8),
  };
  return t;
}

}  // namespace

fw::CString UnavailableDeviceName(fw::UINT nDevice) {
  return fw::CString(("(unavailable device " + std::to_string(nDevice) + ")").c_str());
}

const fw::CDialogTemplate& PortSelectTemplate() {
  static const fw::CDialogTemplate t = Make();
  return t;
}

CPortSelectDlg::CPortSelectDlg() : fw::CDialog(PortSelectTemplate()) {}

fw::BOOL CPortSelectDlg::OnInitDialog() {
  AddComboString(IDC_DEVICE, "MIDI");
  AddComboString(IDC_DEVICE, "Serial");
  SetComboCurSel(IDC_DEVICE, 0);

  // Listed in enumeration order, unsorted: a list position is the device number, so a device
  // whose name cannot be read keeps its place under a placeholder.
  const UINT nIn = midiInGetNumDevs();
  for (UINT i = 0; i < nIn; ++i) {
    MIDIINCAPS caps;
    const bool bNamed = midiInGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR;
    AddComboString(IDC_IN_PORT, bNamed ? PnameToString(caps.szPname) : UnavailableDeviceName(i));
  }
  SetComboCurSel(IDC_IN_PORT, m_nInSel);

  const UINT nOut = midiOutGetNumDevs();
  for (UINT i = 0; i < nOut; ++i) {
    MIDIOUTCAPS caps;
    const bool bNamed = midiOutGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR;
    AddComboString(IDC_OUT_PORT, bNamed ? PnameToString(caps.szPname) : UnavailableDeviceName(i));
  }
  SetComboCurSel(IDC_OUT_PORT, m_nOutSel);

  fw::CDialog::OnInitDialog();
  return fw::TRUE;
}

fw::BOOL CPortSelectDlg::OnCommand(fw::WPARAM wParam, fw::LPARAM lParam) {
  if (fw::HIWORD(wParam) == fw::CBN_SELCHANGE) {
    switch (fw::LOWORD(wParam)) {
      case IDC_DEVICE:
        OnSelchangeDevice();
        return fw::TRUE;
      case IDC_IN_PORT:
        OnSelchangeInPort();
        return fw::TRUE;
      case IDC_OUT_PORT:
        OnSelchangeOutPort();
        return fw::TRUE;
      default:
        return fw::FALSE;
    }
  }
  return fw::CDialog::OnCommand(wParam, lParam);
}

void CPortSelectDlg::OnSelchangeDevice() { m_nDevType = static_cast<std::uint8_t>(GetComboCurSel(IDC_DEVICE)); }
void CPortSelectDlg::OnSelchangeInPort() { m_nInSel = static_cast<std::uint8_t>(GetComboCurSel(IDC_IN_PORT)); }
void CPortSelectDlg::OnSelchangeOutPort() { m_nOutSel = static_cast<std::uint8_t>(GetComboCurSel(IDC_OUT_PORT)); }

}  // namespace velda
