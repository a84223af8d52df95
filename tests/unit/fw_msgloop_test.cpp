// The message loop's rules, each checked where a naive queue would get it wrong.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "support/recording_wnd.h"

namespace {

using fw::CMsgLoop;

using velda::test::CRecordingDlg;

// A window with one button, 7.
fw::CDialogTemplate LogTemplate() {
  fw::CDialogTemplate t;
  t.nId = 500;
  fw::CControlTemplate b;
  b.nId = 7;
  b.eKind = fw::EControlKind::Button;
  t.aControls.push_back(b);
  return t;
}

// Answers message boxes after a delay on the loop's clock.
class CDelayedAnswers : public fw::CFrontEnd {
 public:
  CDelayedAnswers(CMsgLoop& loop, std::uint64_t nDelay) : m_loop(loop), m_nDelay(nDelay) {}
  void OnWindowCreated(fw::HWND, const fw::CDialogTemplate&) override {}
  void OnWindowShown(fw::HWND, bool) override {}
  void OnWindowDestroyed(fw::HWND) override {}
  void OnWindowIcon(fw::HWND, int, bool) override {}
  void OnControlChanged(fw::HWND, const fw::CControlState&) override {}
  void ShowMessageBox(int nBox, fw::HWND, const fw::CString&, const fw::CString&, fw::UINT) override {
    CMsgLoop* p = &m_loop;
    m_loop.ScheduleAfter(m_nDelay, [p, nBox] { p->PostInput(fw::CInputEvent::BoxAnswer(nBox, fw::IDOK)); });
  }
  void CloseMessageBox(int, int nAnswer) override { nLastAnswer = nAnswer; }
  int nLastAnswer = 0;

 private:
  CMsgLoop& m_loop;
  std::uint64_t m_nDelay;
};

class MsgLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_loop.MakeCurrent();
    ASSERT_TRUE(m_wnd.CreateFromTemplate(LogTemplate()));
  }
  fw::BOOL Post(fw::UINT nId) { return m_loop.Post(m_wnd.GetSafeHwnd(), fw::WM_COMMAND, nId, 0); }
  // Runs until the log has n entries (or the run ends).
  void RunUntilLogged(std::size_t n) {
    m_loop.RunModal([&] { return m_wnd.m_aLog.size() >= n; });
  }

  CMsgLoop m_loop{CMsgLoop::EClock::Virtual};
  CRecordingDlg m_wnd{LogTemplate()};
};

TEST_F(MsgLoopTest, PostedStepsStarveTheTimerWhichThenTicksOnce) {
  m_wnd.SetTimer(1, 500);
  int nLeft = 20;
  // Each step blocks 100 ms and posts the next: 2 s in which the 500 ms timer comes due 4 times.
  m_wnd.m_fnOnCommand = [&](fw::UINT) {
    fw::Sleep(100);
    if (--nLeft > 0) Post(10);
  };
  Post(10);
  RunUntilLogged(21);
  ASSERT_EQ(m_wnd.m_aLog.size(), 21u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(m_wnd.m_aLog[static_cast<std::size_t>(i)], "cmd 10");
  EXPECT_EQ(m_wnd.m_aLog[20], "tick 1");
  EXPECT_EQ(m_loop.Now(), 2000u);  // the single pending tick ran as soon as the chain ended
  RunUntilLogged(22);
  EXPECT_EQ(m_loop.Now(), 2500u);  // and the next one is a full period later
}

TEST_F(MsgLoopTest, SettingARunningTimerRestartsItAndLeavesOne) {
  m_wnd.SetTimer(1, 500);
  m_loop.Sleep(300);
  m_wnd.SetTimer(1, 500);
  EXPECT_EQ(m_loop.TimerCount(), 1u);
  RunUntilLogged(1);
  EXPECT_EQ(m_wnd.m_aLog[0], "tick 1");
  EXPECT_EQ(m_loop.Now(), 800u);
  EXPECT_TRUE(m_wnd.KillTimer(1));
  EXPECT_FALSE(m_wnd.KillTimer(1));
  EXPECT_EQ(m_loop.TimerCount(), 0u);
}

TEST_F(MsgLoopTest, NestedMessageBoxKeepsDispatchingStepsAndTicks) {
  CDelayedAnswers fe(m_loop, 2100);
  m_loop.SetFrontEnd(&fe);
  int nBoxAnswer = 0;
  m_wnd.m_fnOnCommand = [&](fw::UINT nId) {
    if (nId == 11) {
      Post(12);  // posted before the box: runs while the box is shown
      nBoxAnswer = m_wnd.MessageBox("text", "caption", fw::MB_OK);
      m_wnd.m_aLog.push_back("box closed");
    }
  };
  m_wnd.SetTimer(5, 500);
  Post(11);
  RunUntilLogged(7);
  const std::vector<std::string> want{"cmd 11", "cmd 12", "tick 5", "tick 5", "tick 5", "tick 5", "box closed"};
  EXPECT_EQ(m_wnd.m_aLog, want);
  EXPECT_EQ(nBoxAnswer, fw::IDOK);
  EXPECT_EQ(fe.nLastAnswer, fw::IDOK);
  EXPECT_EQ(m_loop.Now(), 2100u);
  m_loop.SetFrontEnd(nullptr);
}

TEST_F(MsgLoopTest, PostedMessagesComeBeforeInputAndInputBeforeTicks) {
  m_wnd.SetTimer(3, 100);
  m_loop.Sleep(200);  // the tick is due
  m_loop.PostInput(fw::CInputEvent::Click(m_wnd.GetSafeHwnd(), 7));
  Post(11);
  Post(12);
  RunUntilLogged(4);
  const std::vector<std::string> want{"cmd 11", "cmd 12", "cmd 7", "tick 3"};
  EXPECT_EQ(m_wnd.m_aLog, want);
}

TEST_F(MsgLoopTest, DisabledButtonCannotBeClicked) {
  m_wnd.EnableDlgItem(7, false);
  m_loop.PostInput(fw::CInputEvent::Click(m_wnd.GetSafeHwnd(), 7));
  Post(11);
  RunUntilLogged(1);
  m_loop.RunModal([&] { return m_loop.DispatchCount() >= 2; });
  EXPECT_EQ(m_wnd.m_aLog, std::vector<std::string>{"cmd 11"});
}

TEST_F(MsgLoopTest, MessagesForAnEndedDialogAreDropped) {
  CRecordingDlg inner{LogTemplate()};
  m_wnd.m_fnOnCommand = [&](fw::UINT nId) {
    if (nId != 11) return;
    inner.m_fnOnCommand = [&](fw::UINT nInner) {
      if (nInner == 20) {
        m_loop.Post(inner.GetSafeHwnd(), fw::WM_COMMAND, 21, 0);  // still queued when it ends
        inner.EndDialog(fw::IDOK);
      }
    };
    m_loop.ScheduleAfter(10, [&] { m_loop.Post(inner.GetSafeHwnd(), fw::WM_COMMAND, 20, 0); });
    EXPECT_EQ(inner.DoModal(), fw::IDOK);
    Post(13);
  };
  Post(11);
  RunUntilLogged(2);
  EXPECT_EQ(inner.m_aLog, std::vector<std::string>{"cmd 20"});
  m_loop.Sleep(1000);
  m_loop.RunModal([&] { return m_wnd.m_aLog.size() >= 2; });
  EXPECT_EQ(m_wnd.m_aLog, (std::vector<std::string>{"cmd 11", "cmd 13"}));
  EXPECT_EQ(inner.m_aLog, std::vector<std::string>{"cmd 20"});
}

TEST_F(MsgLoopTest, SleepRunsDeviceEventsInTimeOrderAndTheirPostsWait) {
  std::vector<std::string> aOrder;
  m_loop.ScheduleAt(300, [&] {
    aOrder.push_back("b@" + std::to_string(m_loop.Now()));
    Post(12);
  });
  m_loop.ScheduleAt(100, [&] {
    aOrder.push_back("a@" + std::to_string(m_loop.Now()));
    // Scheduled during the sleep, still within it: runs in its turn.
    m_loop.ScheduleAt(200, [&] { aOrder.push_back("c@" + std::to_string(m_loop.Now())); });
  });
  m_loop.ScheduleAt(900, [&] { aOrder.push_back("late"); });
  m_loop.Sleep(500);
  EXPECT_EQ(aOrder, (std::vector<std::string>{"a@100", "c@200", "b@300"}));
  EXPECT_EQ(m_loop.Now(), 500u);
  EXPECT_TRUE(m_wnd.m_aLog.empty());  // the post waits for the loop
  RunUntilLogged(1);
  EXPECT_EQ(m_wnd.m_aLog, std::vector<std::string>{"cmd 12"});
}

TEST_F(MsgLoopTest, VirtualTimeJumpsAcrossLongWaits) {
  const auto tStart = std::chrono::steady_clock::now();
  m_wnd.SetTimer(1, 120000);
  RunUntilLogged(1);
  const auto tWall = std::chrono::steady_clock::now() - tStart;
  EXPECT_EQ(m_wnd.m_aLog, std::vector<std::string>{"tick 1"});
  EXPECT_EQ(m_loop.Now(), 120000u);
  // A real wait would take two minutes; the virtual one takes no measurable time.
  EXPECT_LT(tWall, std::chrono::seconds(10));
}

TEST_F(MsgLoopTest, AQuiescentVirtualRunEndsInsteadOfWaitingForever) {
  EXPECT_FALSE(m_loop.RunModal([] { return false; }));
  EXPECT_TRUE(m_loop.IsAborted());
}

TEST_F(MsgLoopTest, PostingToNoWindowFails) {
  EXPECT_FALSE(m_loop.Post(0, fw::WM_COMMAND, 11, 0));
  EXPECT_FALSE(fw::PostToMainWindow(fw::WM_COMMAND, 11, 0));  // no application object
}

}  // namespace
