// The terminal front end on a virtual clock: while the program waits for the user the loop's
// idle hook blocks, so virtual time stands still until the user's line (from another thread)
// arrives; Ctrl-C and the end of the run release it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "shell/installer_template.h"
#include "shell/steps.h"
#include "shell/texts.h"
#include "support/recording_wnd.h"
#include "ui/tty/tty_front_end.h"

namespace velda::tty {
namespace {

using test::CRecordingWnd;

class TtyIdle : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pOut = std::tmpfile();
    ASSERT_NE(m_pOut, nullptr);
    m_loop.MakeCurrent();
    m_pFe = std::make_unique<CTtyFrontEnd>(m_loop, m_pOut, CTtyOptions{});
    m_loop.SetFrontEnd(m_pFe.get());
    m_loop.SetIdleHook([this](std::uint64_t) { m_pFe->OnIdle(true); });
    ASSERT_TRUE(m_main.CreateFromTemplate(InstallerTemplate()));
    // A timer that would tick at once if the virtual clock were allowed to move on.
    m_main.SetTimer(1, 1000);
  }
  void TearDown() override {
    if (m_user.joinable()) m_user.join();
    m_loop.SetIdleHook(nullptr);
    m_main.DestroyWindow();
    m_loop.SetFrontEnd(nullptr);
    m_pFe.reset();
    std::fclose(m_pOut);
  }
  // The user acts on another thread, a little later in real time.
  template <typename Fn>
  void Later(Fn fn) {
    m_user = std::thread([fn] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      fn();
    });
  }

  fw::CMsgLoop m_loop{fw::CMsgLoop::EClock::Virtual};
  std::unique_ptr<CTtyFrontEnd> m_pFe;
  CRecordingWnd m_main;
  std::FILE* m_pOut = nullptr;
  std::thread m_user;
};

TEST_F(TtyIdle, VirtualTimeStandsStillWhileABoxWaitsForTheUser) {
  Later([this] {
    m_pFe->OnInputLine("nonsense");  // no answer: the wait goes on
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_pFe->OnInputLine("c");
  });
  const int nAnswer =
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_1, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION);
  EXPECT_EQ(nAnswer, fw::IDCANCEL);
  EXPECT_EQ(m_loop.Now(), 0u);
  EXPECT_EQ(m_main.m_nTicks, 0);
}

TEST_F(TtyIdle, CloseRequestReleasesAWindowThatWaits) {
  m_main.ShowWindow(true);
  m_main.EnableDlgItem(fw::IDOK, true);  // Timed out: the window waits for the user
  ASSERT_TRUE(m_pFe->IsWaitingForUser());
  Later([this] { m_pFe->RequestClose(); });
  ASSERT_TRUE(m_loop.RunModal([this] { return !m_main.m_aCommands.empty(); }));
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{fw::IDCANCEL}));
  EXPECT_EQ(m_loop.Now(), 0u);
}

TEST_F(TtyIdle, EndOfInputClosesAWindowThatWaits) {
  m_main.ShowWindow(true);
  m_main.EnableDlgItem(IDC_MIDI_PORT, true);
  m_main.EnableDlgItem(fw::IDOK, true);
  Later([this] { m_pFe->OnInputEnd(); });
  ASSERT_TRUE(m_loop.RunModal([this] { return !m_main.m_aCommands.empty(); }));
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{fw::IDOK}));  // Close, as it is enabled
}

TEST_F(TtyIdle, StopEndsTheWait) {
  m_main.ShowWindow(true);
  m_main.EnableDlgItem(fw::IDOK, true);
  Later([this] {
    m_pFe->Stop();
    m_loop.Abort();
  });
  EXPECT_FALSE(m_loop.RunModal([] { return false; }));
  EXPECT_TRUE(m_main.m_aCommands.empty());
}

TEST_F(TtyIdle, NothingToWaitForLetsTheClockMove) {
  // Running, buttons disabled, no box: the idle hook returns and the timer's time comes.
  m_main.ShowWindow(true);
  ASSERT_TRUE(m_loop.RunModal([this] { return m_main.m_nTicks > 0; }));
  EXPECT_EQ(m_loop.Now(), 1000u);
}

}  // namespace
}  // namespace velda::tty
