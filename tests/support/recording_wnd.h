// A window that records what it receives: the commands (the whole WPARAM: the id and the
// notification code), the device changes and the timer ticks, and all of them as one log in the
// order they came ("cmd 7", "tick 1", "device 7"). A test may react to each command. A command
// kSentinel only marks a point in the queue (see CMidiHarness::Drain). CRecordingDlg is the same
// as a dialog (modal, OK and Cancel end it). Header-only, so that the framework's own tests can
// use it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "fw/wnd.h"

namespace velda::test {

template <class TBase>
class CRecordingWndOf : public TBase {
 public:
  using TBase::TBase;

  static constexpr fw::UINT kSentinel = 0xFFFF;

  std::vector<fw::UINT> m_aCommands;
  std::vector<fw::UINT> m_aDeviceChanges;
  std::vector<std::string> m_aLog;
  int m_nTicks = 0;
  bool m_bSentinel = false;
  // Run for each command, after it is recorded.
  std::function<void(fw::UINT)> m_fnOnCommand;
  // Whether every command and device change must come without data (posted as the ports do).
  bool m_bExpectNoData = false;

  std::size_t Count(fw::UINT nId) const {
    return static_cast<std::size_t>(std::count(m_aCommands.begin(), m_aCommands.end(), nId));
  }

 protected:
  fw::BOOL OnCommand(fw::WPARAM wParam, fw::LPARAM lParam) override {
    const auto nId = static_cast<fw::UINT>(wParam);
    if constexpr (std::is_base_of_v<fw::CDialog, TBase>) {
      if (nId == fw::IDOK || nId == fw::IDCANCEL) return TBase::OnCommand(wParam, lParam);
    }
    if (nId == kSentinel) {
      m_bSentinel = true;
      return fw::TRUE;
    }
    if (m_bExpectNoData) {
      EXPECT_EQ(lParam, 0);
    }
    m_aCommands.push_back(nId);
    m_aLog.push_back("cmd " + std::to_string(nId));
    if (m_fnOnCommand) m_fnOnCommand(nId);
    return fw::TRUE;
  }
  fw::BOOL OnDeviceChange(fw::UINT nEventType, fw::DWORD_PTR dwData) override {
    if (m_bExpectNoData) {
      EXPECT_EQ(dwData, 0u);
    }
    m_aDeviceChanges.push_back(nEventType);
    m_aLog.push_back("device " + std::to_string(nEventType));
    return fw::TRUE;
  }
  void OnTimer(fw::UINT_PTR nIDEvent) override {
    ++m_nTicks;
    m_aLog.push_back("tick " + std::to_string(nIDEvent));
  }
};

using CRecordingWnd = CRecordingWndOf<fw::CWnd>;

class CRecordingDlg : public CRecordingWndOf<fw::CDialog> {
 public:
  explicit CRecordingDlg(const fw::CDialogTemplate& tmpl = {}) : CRecordingWndOf<fw::CDialog>(tmpl) {}
};

}  // namespace velda::test
