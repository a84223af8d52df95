// The MIDI Port Select dialog: lists the input and output devices in enumeration order and
// records the positions the user picks.
#pragma once

#include <cstdint>

#include "fw/controls.h"
#include "fw/wnd.h"

namespace velda {

const fw::CDialogTemplate& PortSelectTemplate();

// How the dialog lists a device whose name cannot be read: "(unavailable device N)".
fw::CString UnavailableDeviceName(fw::UINT nDevice);

class CPortSelectDlg : public fw::CDialog {
 public:
  CPortSelectDlg();

  void SetInSel(std::uint8_t n) { m_nInSel = n; }
  void SetOutSel(std::uint8_t n) { m_nOutSel = n; }
  std::uint8_t GetInSel() const { return m_nInSel; }
  std::uint8_t GetOutSel() const { return m_nOutSel; }
  std::uint8_t GetDevType() const { return m_nDevType; }

  fw::BOOL OnInitDialog() override;
  void OnSelchangeDevice();
  void OnSelchangeInPort();
  void OnSelchangeOutPort();

 protected:
  fw::BOOL OnCommand(fw::WPARAM wParam, fw::LPARAM lParam) override;

 private:
  // Each holds the low 8 bits of what is stored in it: -1 becomes 255.
  std::uint8_t m_nDevType = 0;
  std::uint8_t m_nInSel = 0;
  std::uint8_t m_nOutSel = 0;
};

}  // namespace velda
