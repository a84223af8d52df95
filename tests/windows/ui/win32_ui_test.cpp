// The Windows front end's own failures: a message box the system would not show, a call the UI
// thread's queue would not take, and the main window while the port dialog is up.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "fw/trace.h"
#include "shell/installer_app.h"
#include "shell/resource.h"
#include "shell/texts.h"
#include "support/temp_folder.h"
#include "ui/win32/win32_front_end.h"
// After the project's headers: it brings <windows.h>.
#include "ui/win32/win32_ui.h"

namespace velda::win32 {
namespace {

class CNotes : public CTraceSink {
 public:
  void OnTraceLine(char cDir, const std::string& strPayload) override {
    if (cDir == '#') aNotes.push_back(strPayload);
  }
  bool Has(const std::string& strPart) const {
    for (const std::string& s : aNotes) {
      if (s.find(strPart) != std::string::npos) return true;
    }
    return false;
  }
  std::vector<std::string> aNotes;
};

std::vector<std::string> g_aBoxTexts;

// The first box cannot be shown; any later one is cancelled, which ends the run either way.
int WINAPI FirstBoxFails(HWND /*hOwner*/, LPCSTR pszText, LPCSTR /*pszCaption*/, UINT /*uType*/) {
  g_aBoxTexts.emplace_back(pszText);
  if (g_aBoxTexts.size() == 1) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return IDCANCEL;
}

TEST(Win32Ui, AStartUpQuestionThatCannotBeShownEndsTheStartUpAsCancelDoes) {
  g_aBoxTexts.clear();
  CNotes notes;
  SetTraceSink(&notes);
  CWin32Ui::UseSystemFunctions(FirstBoxFails, nullptr);
  test::CTempFolder folder("velda-win32-ui");
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  int nRun = -1;
  {
    CInstallerApp app(loop);
    app.SetLockFolder(folder.Str());
    nRun = RunWin32FrontEnd(app, loop);
  }
  CWin32Ui::UseSystemFunctions(nullptr, nullptr);
  SetTraceSink(nullptr);
  EXPECT_EQ(nRun, 0);  // the installer ended by itself
  ASSERT_EQ(g_aBoxTexts.size(), 1u) << "a second question was asked: the failed box counted as OK";
  EXPECT_EQ(g_aBoxTexts[0], TXT_QUESTION_1);
  EXPECT_TRUE(notes.Has("A message box could not be shown (error 8)")) << ::testing::PrintToString(notes.aNotes);
}

std::atomic<int> g_nPostFailures{0};

// The queue is full for the next g_nPostFailures postings.
BOOL WINAPI PostWhileQueueHasRoom(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_nPostFailures.load() > 0) {
    g_nPostFailures.fetch_sub(1);
    ::SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  return ::PostMessageA(hWnd, message, wParam, lParam);
}

void PumpPending() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != 0) ::DispatchMessageA(&msg);
}

TEST(Win32Ui, ACallTheQueueRefusesForAWhileIsPostedOnceThereIsRoom) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  CWin32Ui ui(loop);
  ASSERT_TRUE(ui.Create());
  CWin32Ui::UseSystemFunctions(nullptr, PostWhileQueueHasRoom);
  g_nPostFailures.store(5);
  bool bRan = false;
  bool bDropped = false;
  EXPECT_TRUE(ui.RunOnUiThread([&bRan] { bRan = true; }, [&bDropped] { bDropped = true; }));
  PumpPending();
  EXPECT_TRUE(bRan);
  EXPECT_FALSE(bDropped);
  CWin32Ui::UseSystemFunctions(nullptr, nullptr);
}

TEST(Win32Ui, ACallThatCannotBePostedIsTracedAndItsFallbackRunsSoNobodyWaitsForIt) {
  CNotes notes;
  SetTraceSink(&notes);
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  CWin32Ui ui(loop);
  ASSERT_TRUE(ui.Create());
  CWin32Ui::UseSystemFunctions(nullptr, PostWhileQueueHasRoom);
  g_nPostFailures.store(1'000'000);
  bool bRan = false;
  bool bDropped = false;
  EXPECT_FALSE(ui.RunOnUiThread([&bRan] { bRan = true; }, [&bDropped] { bDropped = true; }));
  g_nPostFailures.store(0);
  CWin32Ui::UseSystemFunctions(nullptr, nullptr);
  PumpPending();
  SetTraceSink(nullptr);
  EXPECT_FALSE(bRan);
  EXPECT_TRUE(bDropped);
  EXPECT_TRUE(notes.Has("could not be posted (error 1816)")) << ::testing::PrintToString(notes.aNotes);
}

TEST(Win32Ui, TheMainWindowTakesNoInputWhileThePortDialogShows) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  CWin32Ui ui(loop);
  ASSERT_TRUE(ui.Create());
  const fw::HWND hMain = 1;
  const fw::HWND hPorts = 2;
  ui.CreateDialogFor(hMain, IDD_INSTALLER);
  ui.ShowDialog(hMain, true);
  const HWND hReal = ui.RealWindowOf(hMain);
  ASSERT_NE(hReal, nullptr);
  EXPECT_NE(::IsWindowEnabled(hReal), 0);
  ui.CreateDialogFor(hPorts, IDD_PORT_SELECT);
  ASSERT_NE(ui.RealWindowOf(hPorts), nullptr);
  EXPECT_NE(::IsWindowEnabled(hReal), 0) << "made hidden: the owner stays as it was";
  ui.ShowDialog(hPorts, true);
  EXPECT_EQ(::IsWindowEnabled(hReal), 0);
  ui.ShowDialog(hPorts, false);
  EXPECT_NE(::IsWindowEnabled(hReal), 0);
  ui.ShowDialog(hPorts, true);
  EXPECT_EQ(::IsWindowEnabled(hReal), 0);
  ui.DestroyDialog(hPorts);
  EXPECT_NE(::IsWindowEnabled(hReal), 0);
  ui.DestroyDialog(hMain);
  PumpPending();
}

}  // namespace
}  // namespace velda::win32
